// The BlueZ radio on three adapters of the mock at once: a fleet spread by
// signal and room, a controller that refuses a link for lack of resources, an
// adapter lost and back mid-drive, and a car heard by two adapters that stays
// one peripheral.
#include <array>

#include "BluezRadioFixture.h"

namespace {

using namespace bluez_test;

const std::array<QString, 3> kAdapters{"hci0", "hci1", "hci2"};

QString addressOf(uint32_t n) { return QStringLiteral("C0:11:22:33:66:%1").arg(n, 2, 16, QLatin1Char('0')).toUpper(); }

class BluezAdapters : public BluezRadio {
protected:
    void SetUp() override {
        BluezRadio::SetUp();
        if (IsSkipped()) return;
        mock_.addAdapter(kAdapters[1]);
        mock_.addAdapter(kAdapters[2]);
    }

    static ble::bluez::RadioOptions everyAdapter(std::size_t links = 5) {
        ble::bluez::RadioOptions options = defaults();
        options.adapters = {ble::bluez::kAllAdapters};
        options.linksPerAdapter = links;
        return options;
    }

    // The car heard by each adapter with that signal (0: not heard): its objects by adapter.
    std::map<QString, MockBluez::Vehicle> addCar(uint32_t identifier, std::array<int16_t, 3> rssi) {
        std::vector<MockBluez::Hearing> hearings;
        for (std::size_t i = 0; i < kAdapters.size(); ++i) {
            if (rssi[i] != 0) hearings.push_back({kAdapters[i], rssi[i]});
        }
        std::map<QString, MockBluez::Vehicle> objects;
        const auto made = mock_.addVehicleHeardBy(addressOf(identifier), identifier, 9, hearings);
        for (std::size_t i = 0; i < made.size(); ++i) objects[hearings[i].adapter] = made[i];
        return objects;
    }

    // Connected through that adapter alone, with its handshake there.
    void connectedThrough(uint32_t identifier, const std::map<QString, MockBluez::Vehicle>& objects,
                          const QString& adapter) {
        ASSERT_TRUE(objects.contains(adapter));
        ASSERT_TRUE(waitForWrites(objects.at(adapter).writeCharacteristic, 2));
        ASSERT_TRUE(waitFor([&] { return peripheralOf(identifier) != nullptr; }));
        EXPECT_EQ(peripheralOf(identifier)->adapterName(), adapter.toStdString());
        for (const auto& [name, object] : objects) {
            EXPECT_EQ(mock_.callCount(object.device, "Connect"), name == adapter ? 1 : 0) << name.toStdString();
        }
    }
};

TEST_F(BluezAdapters, AFleetSpreadsByHowWellEachAdapterHearsItAndByRoom) {
    beginScan(everyAdapter(4));
    struct Car {
        uint32_t identifier;
        std::array<int16_t, 3> rssi;  // hci0, hci1, hci2; 0: not heard
        const char* through;
    };
    // Six cars hear hci0 best; it takes four, the last two go to their next best.
    const std::vector<Car> fleet{
        {0x01, {-40, -60, -70}, "hci0"}, {0x02, {-45, -50, 0}, "hci0"},  {0x03, {0, -40, -60}, "hci1"},
        {0x04, {-42, 0, -55}, "hci0"},   {0x05, {-70, -70, -41}, "hci2"}, {0x06, {-44, -60, 0}, "hci0"},
        {0x07, {-41, -49, -80}, "hci1"}, {0x08, {0, -52, -45}, "hci2"},   {0x09, {-43, 0, -66}, "hci2"},
        {0x0a, {0, -58, 0}, "hci1"},     {0x0b, {-46, -70, -75}, "hci1"}, {0x0c, {-60, -62, -50}, "hci2"},
        // No room left anywhere: a room no controller refused is a guess, and
        // the car goes through the adapter that hears it best.
        {0x0d, {-70, -48, -60}, "hci1"}, {0x0e, {-52, -70, 0}, "hci0"},
    };
    std::map<QString, int> links;
    for (const Car& car : fleet) {
        SCOPED_TRACE(car.identifier);
        const auto objects = addCar(car.identifier, car.rssi);
        connectedThrough(car.identifier, objects, QString::fromLatin1(car.through));
        ++links[QString::fromLatin1(car.through)];
    }
    EXPECT_EQ(links, (std::map<QString, int>{{"hci0", 5}, {"hci1", 5}, {"hci2", 4}}));
    // Cars heard by two or three adapters are one vehicle each.
    EXPECT_EQ(controller_->vehicles()->size(), fleet.size());
    EXPECT_EQ(log_.count("Discovered new vehicle"), static_cast<int>(fleet.size()));
    EXPECT_EQ(log_.count("Failed to connect"), 0);
}

// What a controller out of room makes Connect answer: BlueZ 5.66's own
// words, or a reason that names the resources.
class BluezAdapterRefusals : public BluezAdapters, public ::testing::WithParamInterface<const char*> {};

TEST_P(BluezAdapterRefusals, MoveToTheNextAdapterAtOnceAndShrinkTheRoomUntilTheAdapterIsFree) {
    beginScan(everyAdapter());
    mock_.setAdapterCapacity(kAdapters[0], 1, QString::fromLatin1(GetParam()));
    const auto a = addCar(0x11, {-40, 0, 0});
    connectedThrough(0x11, a, "hci0");

    // Refused by the full hci0 (which forgets the stranger it kept for the
    // attempt), then through hci1 without a failure reported.
    const auto b = addCar(0x12, {-40, -60, 0});
    ASSERT_TRUE(waitForWrites(b.at("hci1").writeCharacteristic, 2));
    EXPECT_EQ(mock_.callCount(b.at("hci1").device, "Connect"), 1);
    EXPECT_TRUE(waitFor([&] { return !mock_.hasObject(b.at("hci0").device); }));
    EXPECT_EQ(mock_.callCount(adapter_, "RemoveDevice"), 1);

    // hci0's room is down to its one link: a car that hears it best is not even tried there.
    const auto c = addCar(0x13, {-40, 0, -70});
    connectedThrough(0x13, c, "hci2");

    // A car only hci0 hears waits for room there, and gets it once hci0 is free.
    const auto d = addCar(0x14, {-40, 0, 0});
    ASSERT_TRUE(waitFor([&] { return log_.contains("Discovered new vehicle, model=0x0009, id=0x00000014"); }));
    mock_.disconnectRemote(a.at("hci0").device);
    connectedThrough(0x14, d, "hci0");
    EXPECT_EQ(log_.count("Failed to connect"), 0);
}

TEST_F(BluezAdapters, ARefusalShrinksTheRoomOnlyWhenQuickAndOnlyForAWhile) {
    ble::bluez::RadioOptions options = everyAdapter();
    options.roomRefusalLasts = std::chrono::milliseconds(500);
    beginScan(options);
    const auto a = addCar(0x31, {-40, 0, 0});
    connectedThrough(0x31, a, "hci0");

    // An abort that took its time is the link failing, not hci0 out of room:
    // a car only hci0 hears still gets a link there.
    const auto slow = addCar(0x32, {-40, -60, 0});
    mock_.setConnectMode(slow.at("hci0").device, QStringLiteral("slowfail"));
    ASSERT_TRUE(waitFor([&] { return log_.contains("Failed to connect to vehicle id=0x00000032"); }));
    const auto b = addCar(0x33, {-40, 0, 0});
    connectedThrough(0x33, b, "hci0");

    // A quick refusal shrinks hci0's room to its links, and for a while only.
    mock_.setAdapterCapacity(kAdapters[0], 2);
    const auto c = addCar(0x34, {-40, -60, 0});
    ASSERT_TRUE(waitForWrites(c.at("hci1").writeCharacteristic, 2));
    mock_.setAdapterCapacity(kAdapters[0], -1);  // another program's link there ended, say
    const auto d = addCar(0x35, {-40, 0, 0});
    connectedThrough(0x35, d, "hci0");
    EXPECT_EQ(mock_.property(a.at("hci0").device, "org.bluez.Device1", "Connected").toBool(), true);
}

TEST_F(BluezAdapters, ACarOnlyAFullAdapterHearsGetsItsRoomFromACarAnotherAdapterTakes) {
    beginScan(everyAdapter());
    mock_.setAdapterCapacity(kAdapters[0], 2);
    // hci1 is off while two cars that hear it best come: they go to hci0 and fill it.
    mock_.setPowered(QStringLiteral("/org/bluez/hci1"), false);
    const auto a = addCar(0x41, {-60, -40, 0});
    connectedThrough(0x41, a, "hci0");
    const auto b = addCar(0x42, {-60, -40, 0});
    connectedThrough(0x42, b, "hci0");
    mock_.setPowered(QStringLiteral("/org/bluez/hci1"), true);

    // A car only hci0 hears is refused there: a car hci1 hears better moves
    // there, and the refused one gets its room, with no failure told.
    const auto starved = addCar(0x43, {-45, 0, 0});
    ASSERT_TRUE(waitForWrites(starved.at("hci0").writeCharacteristic, 2));
    EXPECT_TRUE(log_.contains("which only hci0 hears, needs its room."));
    EXPECT_EQ(log_.count("Failed to connect"), 0);
    EXPECT_EQ(mock_.callCount(adapter_, "RemoveDevice"), 0);
    // One of the two moved to hci1 without its vehicle losing its link, and drives there.
    const auto movedA = peripheralOf(0x41);
    const auto movedB = peripheralOf(0x42);
    ASSERT_TRUE(movedA && movedB);
    EXPECT_EQ((movedA->adapterName() == "hci1") + (movedB->adapterName() == "hci1"), 1);
    EXPECT_EQ(log_.count("Disconnected vehicle"), 0);
    const uint32_t moved = movedA->adapterName() == "hci1" ? 0x41 : 0x42;
    const auto& there = (moved == 0x41 ? a : b).at("hci1");
    controller_->findVehicleById(moved)->setSpeed(300);
    EXPECT_TRUE(waitForLastWrite(there.writeCharacteristic, setSpeedFrame(300)));
}

INSTANTIATE_TEST_SUITE_P(Answers, BluezAdapterRefusals,
                         ::testing::Values("", "Connection rejected due to limited resources (0x0d)"),
                         [](const auto& info) { return std::string(*info.param ? "LimitedResources" : "AbortByLocal"); });

struct Loss {
    const char* name;
    std::function<void(MockBluez&)> lose;
    std::function<void(MockBluez&)> restore;
    const char* reason;
};

void PrintTo(const Loss& loss, std::ostream* out) { *out << loss.name; }

class BluezAdapterLoss : public BluezAdapters, public ::testing::WithParamInterface<Loss> {};

TEST_P(BluezAdapterLoss, EndsOnlyTheLinksThroughItAndItIsJoinedAgainWhenBack) {
    beginScan(everyAdapter());
    const auto x1 = addCar(0x21, {-40, 0, 0});
    connectedThrough(0x21, x1, "hci0");
    const auto x2 = addCar(0x22, {-45, -70, 0});
    connectedThrough(0x22, x2, "hci0");
    const auto y1 = addCar(0x23, {0, -40, 0});
    connectedThrough(0x23, y1, "hci1");
    const auto y2 = addCar(0x24, {-70, -40, 0});  // hci0 hears it too
    connectedThrough(0x24, y2, "hci1");

    GetParam().lose(mock_);
    for (const char* lost : {"0x00000023", "0x00000024"}) {
        const std::string line = std::string("Disconnected vehicle id=") + lost + ", error=" + GetParam().reason;
        EXPECT_TRUE(waitFor([&] { return log_.contains(line); })) << line;
    }
    EXPECT_EQ(log_.count("Disconnected"), 2);
    // The other adapter's cars drive on.
    for (const auto& [identifier, car] : {std::pair{0x21u, x1}, std::pair{0x22u, x2}}) {
        controller_->findVehicleById(identifier)->setSpeed(300);
        EXPECT_TRUE(waitForLastWrite(car.at("hci0").writeCharacteristic, setSpeedFrame(300)));
    }
    // Heard again by hci0, the car that hci1 carried comes back through it.
    mock_.setRssi(y2.at("hci0").device, -65);
    ASSERT_TRUE(waitForWrites(y2.at("hci0").writeCharacteristic, 2));
    EXPECT_EQ(mock_.callCount(y2.at("hci0").device, "Connect"), 1);
    EXPECT_EQ(peripheralOf(0x24)->adapterName(), "hci0");

    // The adapter back: scanned on and driving while the others drive.
    GetParam().restore(mock_);
    const auto z = addCar(0x25, {0, -40, 0});
    ASSERT_TRUE(waitForWrites(z.at("hci1").writeCharacteristic, 2));
    controller_->findVehicleById(0x21)->setSpeed(400);
    EXPECT_TRUE(waitForLastWrite(x1.at("hci0").writeCharacteristic, setSpeedFrame(400)));
    EXPECT_EQ(log_.count("Disconnected"), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, BluezAdapterLoss,
    ::testing::Values(Loss{"Unplugged", [](MockBluez& m) { m.unplugAdapter(kAdapters[1]); },
                           [](MockBluez& m) { m.addAdapter(kAdapters[1]); }, "The Bluetooth adapter was removed."},
                      Loss{"PoweredOff", [](MockBluez& m) { m.setPowered("/org/bluez/hci1", false); },
                           [](MockBluez& m) { m.setPowered("/org/bluez/hci1", true); },
                           "The Bluetooth adapter was powered off."}),
    [](const auto& info) { return std::string(info.param.name); });

// Records every discovery a central reports.
class Discoveries : public ble::CentralDelegate {
public:
    void centralManagerDidUpdateState(ble::Central& central) override {
        if (central.state() == ble::CentralState::PoweredOn) central.scanForPeripheralsWithServices({});
    }
    void didDiscoverPeripheral(ble::Central&, const std::shared_ptr<ble::Peripheral>& peripheral,
                               const ble::AdvertisementData&, int rssi) override {
        heard.push_back({peripheral, rssi});
    }
    std::vector<std::pair<std::shared_ptr<ble::Peripheral>, int>> heard;
};

TEST_F(BluezAdapters, ACarHeardByTwoAdaptersIsOnePeripheralNamedByTheAdapterThatHearsItBest) {
    const auto discoveries = std::make_shared<Discoveries>();
    const auto central = ble::bluez::makeCentralFactory(loop_, everyAdapter())(discoveries);
    const auto car = addCar(0x31, {-70, -40, 0});
    ASSERT_TRUE(waitFor([&] { return !discoveries->heard.empty(); }));
    const auto peripheral = discoveries->heard.front().first;
    EXPECT_EQ(peripheral->adapterName(), "hci1");
    EXPECT_EQ(discoveries->heard.front().second, -40);
    // Each adapter's new reading is reported with the best signal any adapter has now.
    struct Step {
        const char* adapter;
        int16_t rssi;
        int reported;
        const char* best;
    };
    const std::vector<Step> steps{
        {"hci0", -30, -30, "hci0"}, {"hci1", -20, -20, "hci1"}, {"hci1", -60, -30, "hci0"}, {"hci0", -65, -60, "hci1"}};
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.adapter) + " " + std::to_string(step.rssi));
        const std::size_t before = discoveries->heard.size();
        mock_.setRssi(car.at(QString::fromLatin1(step.adapter)).device, step.rssi);
        // The other adapter's first reading may still be on its way under load: the step's own report is awaited.
        EXPECT_TRUE(waitFor([&] {
            return discoveries->heard.size() > before && discoveries->heard.back().second == step.reported;
        })) << "last reported " << discoveries->heard.back().second;
        EXPECT_EQ(peripheral->adapterName(), step.best);
    }
    for (const auto& [heard, rssi] : discoveries->heard) EXPECT_EQ(heard, peripheral) << rssi;
}

}  // namespace
