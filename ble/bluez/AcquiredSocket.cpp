#include "ble/bluez/AcquiredSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace ble::bluez {

AcquiredSocket::AcquiredSocket(int fd, std::function<void(std::vector<uint8_t>)> onValue,
                               std::function<void()> onHangUp)
    : fd_(fd), onValue_(std::move(onValue)), onHangUp_(std::move(onHangUp)) {
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, &receiver_);
    QObject::connect(notifier_, &QSocketNotifier::activated, &receiver_, [this] { readable(); });
}

AcquiredSocket::~AcquiredSocket() { close(); }

AcquiredSocket::SendResult AcquiredSocket::send(const std::vector<uint8_t>& frame) {
    if (fd_ < 0) return SendResult::Failed;
    const ssize_t written = ::send(fd_, frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (written == static_cast<ssize_t>(frame.size())) return SendResult::Sent;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return SendResult::TryLater;
    }
    return SendResult::Failed;
}

bool AcquiredSocket::hungUp() const {
    pollfd probe{fd_, static_cast<short>(POLLIN | POLLRDHUP), 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0;
}

void AcquiredSocket::readable() {
    // BlueZ's datagrams are at most 512 bytes; a bigger one is cut, never
    // read past the buffer. A record of no bytes is an empty value: on a
    // SOCK_SEQPACKET socket only the hang-up flags tell the other end went.
    std::array<uint8_t, 1024> buffer{};
    for (int i = 0; i < 64 && fd_ >= 0; ++i) {
        const bool gone = hungUp();
        const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0 || (got == 0 && !gone)) {
            if (onValue_) onValue_(std::vector<uint8_t>(buffer.begin(), buffer.begin() + got));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) && !gone) return;
        // Hung up, with nothing left to read, or an error: the other end is gone.
        close();
        if (const auto hangUp = std::move(onHangUp_)) hangUp();
        return;
    }
}

void AcquiredSocket::close() {
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace ble::bluez
