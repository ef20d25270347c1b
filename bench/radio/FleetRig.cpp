#include "FleetRig.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "ble/bluez/CentralFactory.h"
#include "link/FrameRules.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace fleet {

namespace {

const std::vector<uint8_t> kGetVersion{0x01, 0x18};
const QByteArray kVersionAnswer = QByteArray::fromHex("03192143");
// A car whose answer got lost (sent before its subscription was in place) is answered again.
constexpr double kAnswerAgainAfter = 0.3;

QString addressOf(int n) { return QStringLiteral("C0:F1:EE:7A:00:%1").arg(n, 2, 16, QLatin1Char('0')).toUpper(); }

// Car n hears adapter n % 3 best; one to three adapters hear it, each
// weaker than the one before. The cars that hci2 hears best are all heard
// elsewhere too, so that a full hci2 can send them on.
std::vector<MockBluez::Hearing> hearingsOf(int n) {
    const int best = n % 3;
    int heard = 1 + (n / 3) % 3;
    if (best == 2) heard = std::max(heard, 2);
    std::vector<MockBluez::Hearing> hearings;
    const int16_t rssi[3] = {static_cast<int16_t>(-40 - n % 6), static_cast<int16_t>(-58 - n % 4),
                             static_cast<int16_t>(-72 - n % 5)};
    for (int k = 0; k < heard; ++k) hearings.push_back({kAdapters[static_cast<std::size_t>((best + k) % 3)], rssi[k]});
    return hearings;
}

// The program's assembly of the BlueZ radio on a set of adapters.
ble::CentralFactory radioOn(ble::EventLoop& loop, std::size_t linksPerAdapter) {
    ble::bluez::RadioOptions options;
    options.adapters = {ble::bluez::kAllAdapters};
    options.linksPerAdapter = linksPerAdapter;
    options.supersedes = link_rules::vehicleFrames();
    options.layout = link_rules::vehicleLayout();
    options.identify = link_rules::vehicleIdentity();
    return ble::bluez::makeCentralFactory(loop, std::move(options));
}

}  // namespace

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

bool runUntil(const std::function<bool()>& poll, int ms, int everyMs) {
    QEventLoop loop;
    bool done = poll();
    if (done) return true;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (poll()) done = true, loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    ticker.start(everyMs);
    loop.exec();
    return done;
}

Rig::Rig(MockBluez& mock, const Setup& setup) : mock_(mock), setup_(setup) {
    mock_.start();
    for (std::size_t a = 0; a < kAdapters.size(); ++a) {
        mock_.addAdapter(kAdapters[a]);
        mock_.setAdapterCapacity(kAdapters[a], setup.capacity[a], setup.refusal);
    }
    for (int n = 0; n < setup.cars; ++n) {
        Car car;
        car.id = 0xF1EE0001u + static_cast<uint32_t>(n);
        const auto hearings = hearingsOf(n);
        const auto made = mock_.addVehicleHeardBy(addressOf(n), car.id, 9, hearings);
        for (std::size_t i = 0; i < made.size(); ++i) car.objects[hearings[i].adapter] = made[i];
        car.bestAdapter = hearings.front().adapter;
        cars_.push_back(std::move(car));
    }
    controller_ = std::make_shared<VehiclesController>(radioOn(loop_, setup.linksPerAdapter));
}

Rig::~Rig() {
    controller_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    mock_.stop();
}

std::shared_ptr<Vehicle> Rig::vehicleOf(const Car& car) const { return controller_->findVehicleById(car.id); }

bool Rig::drivesNow(const Car& car) {
    const auto vehicle = vehicleOf(car);
    if (!vehicle || !vehicle->active()) return false;
    if (vehicle->firmwareVersion()) return true;
    const auto peripheral = vehicle->peripheral();
    const QString adapter = peripheral ? QString::fromStdString(peripheral->adapterName()) : QString();
    if (!car.objects.contains(adapter)) return false;
    const MockBluez::Vehicle& object = car.objects.at(adapter);
    if (mock_.lastWrite(object.writeCharacteristic).bytes == kGetVersion) {
        mock_.emitNotification(object.readCharacteristic, kVersionAnswer);
    }
    return false;
}

int Rig::driving() const {
    return static_cast<int>(std::count_if(cars_.begin(), cars_.end(), [](const Car& c) { return c.drivingAt >= 0; }));
}

double Rig::connectAll(int limitMs) {
    const double start = now();
    controller_->beginScan();
    const bool all = runUntil([&] {
        poll(start);
        return driving() == static_cast<int>(cars_.size());
    }, limitMs);
    return all ? now() - start : -1;
}

void Rig::poll(double since) {
    const double at = now() - since;
    for (Car& car : cars_) {
        if (car.drivingAt >= 0) continue;
        const auto vehicle = vehicleOf(car);
        if (!vehicle) continue;
        if (car.listedAt < 0) car.listedAt = at;
        if (!vehicle->active()) continue;
        if (car.activeAt < 0) car.activeAt = at;
        if (car.adapter.isEmpty()) {
            if (const auto peripheral = vehicle->peripheral()) car.adapter = QString::fromStdString(peripheral->adapterName());
        }
        if (vehicle->firmwareVersion()) {
            car.drivingAt = at;
            continue;
        }
        if (!car.objects.contains(car.adapter)) continue;
        if (car.answeredAt >= 0 && at - car.answeredAt < kAnswerAgainAfter) continue;
        const MockBluez::Vehicle& object = car.objects.at(car.adapter);
        if (mock_.lastWrite(object.writeCharacteristic).bytes != kGetVersion) continue;
        mock_.emitNotification(object.readCharacteristic, kVersionAnswer);
        car.answeredAt = at;
    }
}

}  // namespace fleet
