#include "drive/Scan.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <climits>
#include <memory>
#include <set>

#include "link/LinkText.h"
#include "link/VehicleUuids.h"
#include "zelto_sdk/advertisement.h"

namespace drive {
namespace {

// The platforms' "no reading" values.
bool rssiKnown(int rssi) { return rssi < 0 && rssi >= -127; }

class ScanDelegate : public ble::CentralDelegate {
public:
    ScanDelegate(bool json, const std::function<void(const std::string&)>& out) : json_(json), out_(out) {}

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
        if (info.product_id != ZELTO_ADV_VEHICLE_PRODUCT_ID || !seen_.insert(info.identifier).second) return;
        const std::string name = link_text::safe(peripheral->name());
        const std::string id = link_text::identifierText(info.identifier);
        if (json_) {
            QJsonObject line{{"id", QString::fromStdString(id)}, {"model", info.model_id}, {"name", QString::fromStdString(name)}};
            line.insert(QStringLiteral("rssi"), rssiKnown(rssi) ? QJsonValue(rssi) : QJsonValue());
            out_(QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString());
        } else {
            out_("id=" + id + " model=" + std::to_string(info.model_id) + " name=" + name +
                 " rssi=" + (rssiKnown(rssi) ? std::to_string(rssi) : std::string("?")));
        }
    }

private:
    bool json_;
    const std::function<void(const std::string&)>& out_;
    std::set<std::uint32_t> seen_;
};

}  // namespace

void scan(const ble::CentralFactory& radio, DriveClock& clock, double seconds, bool json,
          const std::function<void(const std::string&)>& out) {
    auto delegate = std::make_shared<ScanDelegate>(json, out);
    std::shared_ptr<ble::Central> central = radio(delegate);
    clock.runFor(seconds * 1000.0);
    if (central) central->stopScan();
}

}  // namespace drive
