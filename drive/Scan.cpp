#include "drive/Scan.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <climits>
#include <memory>
#include <vector>

#include "drive/HealthJson.h"
#include "link/LinkHealth.h"

#include "link/LinkText.h"
#include "link/VehicleUuids.h"
#include "zelto_sdk/advertisement.h"

namespace drive {
namespace {

// The platforms' "no reading" values.
bool rssiKnown(int rssi) { return rssi < 0 && rssi >= -127; }

class ScanDelegate : public ble::CentralDelegate {
public:
    ScanDelegate(bool json, const std::function<void(const std::string&)>& out, DriveClock& clock)
        : json_(json), out_(out), clock_(clock) {}

    void centralManagerDidUpdateState(ble::Central& central) override {
        if (central.state() == ble::CentralState::PoweredOn) {
            central.scanForPeripheralsWithServices({vehicle_uuids::service()});
        }
    }

    void didDiscoverPeripheral(ble::Central&, const std::shared_ptr<ble::Peripheral>& peripheral,
                               const ble::AdvertisementData& advertisement, int rssi) override {
        if (!peripheral || !advertisement.manufacturerData) return;
        const std::vector<std::uint8_t>& data = *advertisement.manufacturerData;
        if (data.size() > UINT8_MAX) return;
        zelto_adv_mfg_info info{};
        if (zelto_adv_parse_mfg_data(data.data(), static_cast<std::uint8_t>(data.size()), &info) != 0) return;
        if (info.product_id != ZELTO_ADV_VEHICLE_PRODUCT_ID) return;
        Car* car = carOf(info.identifier);
        if (car) {
            // Only the car's own peripheral tells how well it is heard.
            if (car->peripheral == peripheral) car->meter.advertisementHeard(advertisement.localName, rssi);
            return;
        }
        car = &cars_.emplace_back(Car{info.identifier, info.model_id, peripheral, {}});
        car->meter.setClock([this] { return std::chrono::milliseconds(static_cast<std::int64_t>(clock_.nowMs())); });
        car->meter.advertisementHeard(advertisement.localName, rssi);
        if (json_) return;  // told whole once the scan is over
        const std::string name = link_text::safe(peripheral->name());
        const std::string adapter = peripheral->adapterName();
        out_("id=" + link_text::identifierText(info.identifier) + " model=" + std::to_string(info.model_id) +
             " name=" + name + " rssi=" + (rssiKnown(rssi) ? std::to_string(rssi) : std::string("?")) +
             (adapter.empty() ? std::string() : " adapter=" + adapter));
    }

    // With --json, one object per car in the order found, with what the
    // listening time told of its link.
    void finish() const {
        if (!json_) return;
        for (const Car& car : cars_) {
            QJsonObject line = healthJson(car.meter.health(car.peripheral.get()));
            line.insert(QStringLiteral("id"), QString::fromStdString(link_text::identifierText(car.identifier)));
            line.insert(QStringLiteral("model"), car.model);
            // The peripheral's own name, as the plain lines print it.
            line.insert(QStringLiteral("name"), QString::fromStdString(link_text::safe(car.peripheral->name())));
            out_(QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString());
        }
    }

private:
    struct Car {
        std::uint32_t identifier;
        std::uint8_t model;
        std::shared_ptr<ble::Peripheral> peripheral;
        LinkMeter meter;
    };
    Car* carOf(std::uint32_t identifier) {
        for (Car& car : cars_) {
            if (car.identifier == identifier) return &car;
        }
        return nullptr;
    }

    bool json_;
    const std::function<void(const std::string&)>& out_;
    DriveClock& clock_;
    std::vector<Car> cars_;
};

}  // namespace

void scan(const ble::CentralFactory& radio, DriveClock& clock, double seconds, bool json,
          const std::function<void(const std::string&)>& out) {
    auto delegate = std::make_shared<ScanDelegate>(json, out, clock);
    std::shared_ptr<ble::Central> central = radio(delegate);
    clock.runFor(seconds * 1000.0);
    if (central) central->stopScan();
    delegate->finish();
}

}  // namespace drive
