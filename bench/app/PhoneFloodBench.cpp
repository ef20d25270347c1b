// Strangers on the loopback against zelto-panel's phone host, offscreen, on 3
// simulated cars: what the window's resident memory and its loop's worst gap
// come to under each attack, and how long a phone with the token then takes
// from opening its socket to the host's welcome (one try every second).
// Run one attack per process for its own memory figure: the heap the window
// grew under one attack is not given back before the next.
// The attackers are plain blocking sockets on threads of their own, from
// 127.0.0.2, as another device on the network would be; the phone comes from
// 127.0.0.1 on a Qt thread of its own.
//   build/default/bench/app/phone_flood_bench [pings|idle|silent|lanes]...
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "app/phones/PhoneSharing.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "app/phones/PhoneHost.h"
#include "bench/app/ConnectedWindow.h"
#include "bench/radio/LoadMeters.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "radio/RadioChoice.h"

namespace {

constexpr int kSeconds = 8;
constexpr int kJoinPatienceMs = 5000;

// A client's frame, masked as every client's must be.
std::string clientFrame(unsigned char opcode, const std::string& payload) {
    std::string frame;
    frame += static_cast<char>(0x80 | opcode);
    if (payload.size() < 126) {
        frame += static_cast<char>(0x80 | payload.size());
    } else {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>(payload.size() >> 8);
        frame += static_cast<char>(payload.size() & 0xFF);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i) frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    return frame;
}

std::string upgradeRequest(quint16 port, const std::string& origin) {
    return "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
           "Sec-WebSocket-Version: 13\r\nOrigin: " +
           origin + "\r\n\r\n";
}

// A blocking socket from `source` to the host, with short timeouts so that
// its thread sees the end of the run; -1 when the host is not reached.
int openFrom(const char* source, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    timeval patience{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends all of `bytes`; false once the host has closed the connection.
bool sendAll(int fd, const std::string& bytes, const std::atomic<bool>& stop) {
    std::size_t sent = 0;
    while (sent < bytes.size() && !stop) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
    }
    return true;
}

// True while the host keeps the connection open (it may be silent).
bool stillOpen(int fd) {
    char byte[256];
    const ssize_t n = ::recv(fd, byte, sizeof byte, 0);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

enum class Attack { Pings, Idle, Silent, Lanes };

struct AttackPlan {
    const char* name;
    const char* what;
    Attack attack;
    int sockets;
};

const AttackPlan kPlans[] = {
    {"pings", "16 token-less sockets sending pings, never reading, reopened when cut", Attack::Pings, 16},
    {"idle", "64 idle TCP connections, reopened when cut", Attack::Idle, 64},
    {"silent", "16 token-less WebSockets, reopened every 2 s", Attack::Silent, 16},
    {"lanes", "1 phone with the token flooding lane moves, never reading, reopened when cut", Attack::Lanes, 1},
};

// One attacker's connections, one after another, until the run ends.
void attack(const AttackPlan& plan, quint16 port, std::string origin, std::string token, int index,
            const std::atomic<bool>& stop, std::atomic<long>& opened) {
    const std::string request = upgradeRequest(port, origin);
    std::string pings;
    for (int i = 0; i < 512; ++i) pings += clientFrame(0x9, std::string(125, 'p'));
    std::string lanes;
    for (int i = 0; i < 512; ++i) {
        lanes += clientFrame(0x1, R"({"type":"lane","value":)" + std::to_string(i % 2 ? 10 : -10) + "}");
    }
    const std::string hello = clientFrame(
        0x1, R"({"type":"hello","token":")" + token + R"(","phone":"flooding-phone-)" + std::to_string(index) + "\"}");
    const std::string claim = clientFrame(0x1, R"({"type":"claim","car":"305419896"})");
    while (!stop) {
        const int fd = openFrom("127.0.0.2", port);
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ++opened;
        const auto since = std::chrono::steady_clock::now();
        switch (plan.attack) {
            case Attack::Idle:
                while (!stop && stillOpen(fd)) {
                }
                break;
            case Attack::Silent:
                if (!sendAll(fd, request, stop)) break;
                while (!stop && stillOpen(fd) && std::chrono::steady_clock::now() - since < std::chrono::seconds(2)) {
                }
                break;
            case Attack::Pings:
                if (!sendAll(fd, request, stop)) break;
                while (!stop && sendAll(fd, pings, stop)) {
                }
                break;
            case Attack::Lanes:
                if (!sendAll(fd, request, stop) || !sendAll(fd, hello, stop) || !sendAll(fd, claim, stop)) break;
                while (!stop && sendAll(fd, lanes, stop)) {
                }
                break;
        }
        ::close(fd);
    }
}

// A phone with the token on a Qt thread of its own: opens, says hello,
// and notes how long the welcome took.
class Phone : public QObject {
public:
    Phone(QString origin, QString token) : origin_(std::move(origin)), token_(std::move(token)) {}

    void join(int attempt) {
        delete socket_;
        socket_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        clock_.start();
        QObject::connect(socket_, &QWebSocket::connected, this, [this, attempt] {
            socket_->sendTextMessage(
                QStringLiteral(R"({"type":"hello","token":"%1","phone":"bench-phone-%2"})").arg(token_).arg(attempt));
        });
        QObject::connect(socket_, &QWebSocket::textMessageReceived, this, [this](const QString& text) {
            if (text.contains(QStringLiteral("\"welcome\"")) && joinedMs < 0) joinedMs = clock_.nsecsElapsed() / 1e6;
        });
        QNetworkRequest request(QUrl(QString(origin_).replace(QStringLiteral("http:"), QStringLiteral("ws:")) +
                                     QStringLiteral("/ws")));
        request.setRawHeader("Origin", origin_.toUtf8());
        joinedMs = -1;
        socket_->open(request);
    }
    void leave() {
        if (socket_) socket_->close();
    }

    std::atomic<double> joinedMs{-1};

private:
    QString origin_;
    QString token_;
    QWebSocket* socket_ = nullptr;
    QElapsedTimer clock_;
};

bool run(const AttackPlan& plan, const phone::PhoneHost& host) {
    const quint16 port = static_cast<quint16>(QUrl(host.origin()).port());
    const QString token = host.url().section(QStringLiteral("#k="), 1);
    QThread phoneThread;
    auto* phoneOnThread = new Phone(host.origin(), token);
    phoneOnThread->moveToThread(&phoneThread);
    phoneThread.start();

    const long memoryBefore = load::residentKilobytes();
    long memoryTop = memoryBefore;
    QTimer memory;
    QObject::connect(&memory, &QTimer::timeout, [&] { memoryTop = std::max(memoryTop, load::residentKilobytes()); });
    memory.start(50);
    load::LoopWatch loop(5);

    std::atomic<bool> stop{false};
    std::atomic<long> opened{0};
    std::vector<std::thread> attackers;
    for (int i = 0; i < plan.sockets; ++i) {
        attackers.emplace_back(attack, std::cref(plan), port, host.origin().toStdString(), token.toStdString(), i,
                               std::cref(stop), std::ref(opened));
    }
    std::vector<double> joins;
    int refused = 0;
    for (int second = 1; second < kSeconds; ++second) {
        load::waitFor([] { return false; }, 1000);
        QMetaObject::invokeMethod(phoneOnThread, [phoneOnThread, second] { phoneOnThread->join(second); });
        if (load::waitFor([&] { return phoneOnThread->joinedMs >= 0; }, kJoinPatienceMs)) {
            joins.push_back(phoneOnThread->joinedMs);
        } else {
            ++refused;
        }
        QMetaObject::invokeMethod(phoneOnThread, [phoneOnThread] { phoneOnThread->leave(); });
    }
    stop = true;
    for (std::thread& attacker : attackers) attacker.join();
    memoryTop = std::max(memoryTop, load::residentKilobytes());
    const double worstGap = loop.worstGapMs();
    QMetaObject::invokeMethod(
        phoneOnThread, [phoneOnThread] { delete phoneOnThread; }, Qt::BlockingQueuedConnection);
    phoneThread.quit();
    phoneThread.wait();
    load::waitFor([&] { return host.phones().empty(); }, 5000);

    std::printf("| %s | %ld connections | %.0f MB, top %.0f MB | %.1f ms | %zu of %zu joined, worst %.0f ms,"
                " p50 %.0f ms |\n",
                plan.what, opened.load(), memoryBefore / 1024.0, memoryTop / 1024.0, worstGap, joins.size(),
                joins.size() + static_cast<std::size_t>(refused),
                joins.empty() ? 0.0 : *std::max_element(joins.begin(), joins.end()), load::percentile(joins, 0.5));
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QuietBenchApplication application(argc, argv);
    auto window = openConnectedWindow(3);
    if (!window) return 1;
    load::waitFor([] { return false; }, 500);
    if (!window->phoneSharing().share(QHostAddress::LocalHost, 0)) return std::fprintf(stderr, "no port\n"), 1;

    const QStringList chosen = QCoreApplication::arguments().mid(1);
    std::printf("| attack | connections opened | window's memory | loop's worst gap | phone with the token |"
                "\n|---|---|---|---|---|\n");
    std::fflush(stdout);
    for (const AttackPlan& plan : kPlans) {
        if (!chosen.isEmpty() && !chosen.contains(QString::fromLatin1(plan.name))) continue;
        run(plan, window->phoneSharing().host());
    }
    return 0;
}
