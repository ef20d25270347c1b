// One end of the socket pair that BlueZ hands out for AcquireWrite or
// AcquireNotify: one datagram is one value (an empty one included), with no
// D-Bus round trip. The other end closing (the link dropped, BlueZ went away,
// the characteristic's object went) is a hang-up.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace ble::bluez {

class AcquiredSocket {
public:
    enum class SendResult { Sent, TryLater, Failed };

    // Takes ownership of `fd`. `onValue` gets each datagram that arrives;
    // `onHangUp` is called once when the other end is gone (never after the
    // socket is destroyed).
    AcquiredSocket(int fd, std::function<void(std::vector<uint8_t>)> onValue,
                   std::function<void()> onHangUp);
    ~AcquiredSocket();
    AcquiredSocket(const AcquiredSocket&) = delete;
    AcquiredSocket& operator=(const AcquiredSocket&) = delete;

    SendResult send(const std::vector<uint8_t>& frame);
    bool open() const { return fd_ >= 0; }

private:
    void readable();
    bool hungUp() const;
    void close();

    int fd_;
    std::function<void(std::vector<uint8_t>)> onValue_;
    std::function<void()> onHangUp_;
    QObject receiver_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ble::bluez
