// An acquired socket over a real SOCK_SEQPACKET pair: an empty record is an
// empty value and keeps the socket, only the other end going is a hang-up.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <vector>

#include "ble/bluez/AcquiredSocket.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool pumpUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

TEST(AcquiredSocket, EmptyRecordsAreValuesAndOnlyTheOtherEndGoingIsAHangUp) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, pair), 0);
    std::vector<Bytes> values;
    int hangUps = 0;
    ble::bluez::AcquiredSocket socket(pair[0], [&](Bytes value) { values.push_back(std::move(value)); },
                                      [&] { ++hangUps; });
    const std::vector<Bytes> records{{0x03, 0x19, 0x34, 0x12}, {}, {0x01}, {}};
    for (const Bytes& record : records) {
        ASSERT_EQ(::send(pair[1], record.data(), record.size(), 0), ssize_t(record.size()));
    }
    ASSERT_TRUE(pumpUntil([&] { return values.size() == 4; }));
    EXPECT_EQ(values, records);
    EXPECT_EQ(hangUps, 0);
    EXPECT_TRUE(socket.open());
    EXPECT_EQ(socket.send({0x01, 0x18}), ble::bluez::AcquiredSocket::SendResult::Sent);
    uint8_t written[8] = {};
    ASSERT_EQ(::recv(pair[1], written, sizeof written, 0), 2);
    EXPECT_EQ(Bytes(written, written + 2), (Bytes{0x01, 0x18}));

    // A value left before the hang-up still arrives; then the socket closes once.
    const Bytes last{0x02};
    ASSERT_EQ(::send(pair[1], last.data(), last.size(), 0), 1);
    ::close(pair[1]);
    ASSERT_TRUE(pumpUntil([&] { return hangUps > 0; }));
    EXPECT_EQ(values.back(), last);
    EXPECT_EQ(hangUps, 1);
    EXPECT_FALSE(socket.open());
    EXPECT_EQ(socket.send({0x01}), ble::bluez::AcquiredSocket::SendResult::Failed);
}

}  // namespace
