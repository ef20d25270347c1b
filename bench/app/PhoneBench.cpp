// Phones driving zelto-panel's window on 16 simulated cars, offscreen: the
// time from a phone's WebSocket message to the set-speed frame handed to the
// radio, p50 and p99, for one phone and for 16 phones each sending 20 speed
// moves a second; the window loop's worst gap and the CPU it took. The
// phones run on a thread of their own, as on other devices.
//   build/default/bench/app/phone_bench
#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"
#include "app/MainWindow.h"
#include "app/phones/PhoneSharing.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "app/phones/PhoneHost.h"
#include "bench/app/ConnectedWindow.h"
#include "bench/radio/LoadMeters.h"
#include "link/DriveTap.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "radio/RadioChoice.h"

namespace {

constexpr int kCars = 16;
constexpr int kMovesPerSecond = 20;
constexpr int kSeconds = 10;
constexpr int kValues = 999;  // speeds 1 to 999, each move a new one

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// When each phone sent each speed, and when the radio got it.
struct Ledger {
    std::mutex lock;
    std::vector<std::array<std::int64_t, kValues + 1>> sent = std::vector<std::array<std::int64_t, kValues + 1>>(kCars);
    std::vector<double> latenciesMs;
    std::map<std::uint32_t, int> phoneOfCar;
};

// Takes the set-speed frames as the link hands them to the radio.
class WriteWatch : public DriveObserver {
public:
    explicit WriteWatch(Ledger& ledger) : ledger_(ledger) { DriveTap::addObserver(this); }
    ~WriteWatch() override { DriveTap::removeObserver(this); }
    void commandSent(const SentCommand& command) override {
        if (std::string(command.name) != "set-speed" || !command.speed || *command.speed > kValues) return;
        const std::int64_t at = nowNs();
        std::lock_guard<std::mutex> hold(ledger_.lock);
        const auto phone = ledger_.phoneOfCar.find(command.vehicle);
        if (phone == ledger_.phoneOfCar.end()) return;
        std::int64_t& sent = ledger_.sent[static_cast<std::size_t>(phone->second)][*command.speed];
        if (sent == 0) return;
        ledger_.latenciesMs.push_back(static_cast<double>(at - sent) / 1e6);
        sent = 0;
    }
    void valueNotified(std::uint32_t, const std::vector<std::uint8_t>&) override {}

private:
    Ledger& ledger_;
};

// The phones, on their own thread: each claims its car, then sends a new speed every 50 ms.
class Phones : public QObject {
public:
    Phones(Ledger& ledger, QString origin, QString token, std::vector<std::uint32_t> cars, int driving)
        : ledger_(ledger), origin_(std::move(origin)), token_(std::move(token)), cars_(std::move(cars)),
          driving_(driving) {}

    void start() {
        open(0);
        auto* beat = new QTimer(this);
        QObject::connect(beat, &QTimer::timeout, this, [this] {
            for (QWebSocket* socket : sockets_) socket->sendTextMessage(QStringLiteral(R"({"type":"beat"})"));
        });
        beat->start(250);
    }

    // One phone after another: they all come from 127.0.0.1, and the host
    // holds only a few sockets of one address that have not said hello yet.
    void open(int i) {
        if (i >= driving_) return;
        auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        QObject::connect(socket, &QWebSocket::connected, this, [this, socket, i] {
            socket->sendTextMessage(QStringLiteral(R"({"type":"hello","token":"%1","phone":"bench-phone-%2"})")
                                        .arg(token_)
                                        .arg(i));
            socket->sendTextMessage(QStringLiteral(R"({"type":"claim","car":"%1"})").arg(cars_[i]));
            ++ready;
            open(i + 1);
        });
        QNetworkRequest request(QUrl(QString(origin_).replace(QStringLiteral("http:"), QStringLiteral("ws:")) +
                                     QStringLiteral("/ws")));
        request.setRawHeader("Origin", origin_.toUtf8());
        socket->open(request);
        sockets_.push_back(socket);
    }

    void drive() {
        auto* moves = new QTimer(this);
        moves->setTimerType(Qt::PreciseTimer);
        QObject::connect(moves, &QTimer::timeout, this, [this, moves] {
            if (++tick_ > kSeconds * kMovesPerSecond) {
                moves->stop();
                done = true;
                return;
            }
            const int speed = 1 + tick_ % kValues;
            for (int i = 0; i < driving_; ++i) {
                {
                    std::lock_guard<std::mutex> hold(ledger_.lock);
                    ledger_.sent[static_cast<std::size_t>(i)][static_cast<std::size_t>(speed)] = nowNs();
                }
                sockets_[static_cast<std::size_t>(i)]->sendTextMessage(
                    QStringLiteral(R"({"type":"speed","value":%1})").arg(speed));
            }
        });
        moves->start(1000 / kMovesPerSecond);
    }

    void close() {
        for (QWebSocket* socket : sockets_) socket->close();
    }

    std::atomic<int> ready{0};
    std::atomic<bool> done{false};

private:
    Ledger& ledger_;
    QString origin_;
    QString token_;
    std::vector<std::uint32_t> cars_;
    int driving_;
    int tick_ = 0;
    std::vector<QWebSocket*> sockets_;
};

std::vector<std::uint32_t> carsOnPanels(const MainWindow& window) {
    std::vector<std::uint32_t> cars;
    for (const char* name : {"vexaSpeedSlider", "drummetSpeedSlider", "pellanSpeedSlider"}) {
        cars.push_back(static_cast<std::uint32_t>(window.findChild<TaggedSlider*>(name)->tag()));
    }
    for (const FleetPanel* row : window.findChild<FleetArea*>("fleetScroll")->panels()) {
        cars.push_back(static_cast<std::uint32_t>(row->speed()->tag()));
    }
    return cars;
}

bool run(MainWindow& window, int driving) {
    Ledger ledger;
    const std::vector<std::uint32_t> cars = carsOnPanels(window);
    for (int i = 0; i < kCars; ++i) ledger.phoneOfCar[cars[static_cast<std::size_t>(i)]] = i;
    WriteWatch writes(ledger);
    const phone::PhoneHost& host = window.phoneSharing().host();
    QThread thread;
    auto* phonesOnThread = new Phones(ledger, host.origin(), host.url().section(QStringLiteral("#k="), 1), cars, driving);
    Phones& phones = *phonesOnThread;
    phones.moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(&phones, [&phones] { phones.start(); });
    if (!load::waitFor([&] { return phones.ready == driving && host.phones().size() == static_cast<std::size_t>(driving); },
                 20000)) {
        return std::fprintf(stderr, "the phones never came\n"), false;
    }
    load::waitFor([] { return false; }, 300);  // the claims settle
    load::LoopWatch loop(5);
    const double cpuBefore = load::processCpuSeconds();
    QMetaObject::invokeMethod(&phones, [&phones] { phones.drive(); });
    load::waitFor([&] { return phones.done.load(); }, (kSeconds + 20) * 1000);
    load::waitFor([] { return false; }, 200);
    const double cpu = load::processCpuSeconds() - cpuBefore;
    QMetaObject::invokeMethod(
        phonesOnThread,
        [phonesOnThread] {
            phonesOnThread->close();
            delete phonesOnThread;
        },
        Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    load::waitFor([&] { return host.phones().empty(); }, 5000);

    std::lock_guard<std::mutex> hold(ledger.lock);
    const std::size_t expected = static_cast<std::size_t>(driving) * kSeconds * kMovesPerSecond;
    std::printf("| %d phone%s, %d moves/s each | p50 %.2f ms, p99 %.2f ms, max %.2f ms | %zu of %zu moves written |"
                " loop's worst gap %.1f ms | CPU %.2f s over %d s |\n",
                driving, driving == 1 ? "" : "s", kMovesPerSecond, load::percentile(ledger.latenciesMs, 0.50),
                load::percentile(ledger.latenciesMs, 0.99),
                ledger.latenciesMs.empty() ? 0.0 : *std::max_element(ledger.latenciesMs.begin(), ledger.latenciesMs.end()),
                ledger.latenciesMs.size(), expected, loop.worstGapMs(), cpu, kSeconds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QuietBenchApplication application(argc, argv);
    auto window = openConnectedWindow(kCars);
    if (!window) return 1;
    if (!load::waitFor([&] { return carsOnPanels(*window).size() == kCars; }, 10000)) {
        return std::fprintf(stderr, "the panels never showed\n"), 1;
    }
    if (!window->phoneSharing().share(QHostAddress::LocalHost, 0)) return std::fprintf(stderr, "no port\n"), 1;

    std::printf("| WebSocket message to the radio's write, %d simulated cars | latency | moves | window | CPU |\n"
                "|---|---|---|---|---|\n",
                kCars);
    const bool ok = run(*window, 1) && run(*window, kCars);
    return ok ? 0 : 1;
}
