// Which adapter the probe picks from BlueZ's object list.
#include <gtest/gtest.h>

#include <QDBusObjectPath>

#include "ble/bluez/AdapterProbe.h"

namespace {

using ble::bluez::AdapterProbeResult;
using ble::bluez::ManagedObjects;

void addAdapter(ManagedObjects& objects, const QString& path, bool powered, const QString& alias,
                const QString& name = QStringLiteral("host")) {
    QVariantMap properties{{QStringLiteral("Powered"), powered},
                           {QStringLiteral("Address"), QStringLiteral("00:11:22:33:44:") + path.right(2)},
                           {QStringLiteral("Name"), name}};
    if (!alias.isNull()) properties.insert(QStringLiteral("Alias"), alias);
    objects[QDBusObjectPath(path)][QStringLiteral("org.bluez.Adapter1")] = properties;
}

TEST(ChooseAdapter, NoAdapterAmongOtherObjects) {
    ManagedObjects objects;
    objects[QDBusObjectPath("/org/bluez")][QStringLiteral("org.bluez.AgentManager1")] = {};
    objects[QDBusObjectPath("/org/bluez/hci0/dev_00")][QStringLiteral("org.bluez.Device1")] = {};
    EXPECT_EQ(ble::bluez::chooseAdapter(objects).status, AdapterProbeResult::Status::NoAdapter);
    EXPECT_EQ(ble::bluez::chooseAdapter({}).status, AdapterProbeResult::Status::NoAdapter);
}

TEST(ChooseAdapter, TheFirstPoweredOneInPathOrderElseTheFirst) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, bool>> adapters;
        std::string chosen;
        bool powered;
        int poweredAdapters;
    };
    const std::vector<Case> cases = {
        {"one, on", {{"/org/bluez/hci0", true}}, "/org/bluez/hci0", true, 1},
        {"one, off", {{"/org/bluez/hci0", false}}, "/org/bluez/hci0", false, 0},
        {"off then on", {{"/org/bluez/hci0", false}, {"/org/bluez/hci1", true}}, "/org/bluez/hci1", true, 1},
        {"both on", {{"/org/bluez/hci1", true}, {"/org/bluez/hci0", true}}, "/org/bluez/hci0", true, 2},
        {"both off", {{"/org/bluez/hci1", false}, {"/org/bluez/hci0", false}}, "/org/bluez/hci0", false, 0},
        {"three, two on", {{"/org/bluez/hci2", true}, {"/org/bluez/hci0", false}, {"/org/bluez/hci1", true}},
         "/org/bluez/hci1", true, 2},
    };
    for (const Case& c : cases) {
        ManagedObjects objects;
        for (const auto& [path, powered] : c.adapters) addAdapter(objects, path, powered, "desk");
        const AdapterProbeResult result = ble::bluez::chooseAdapter(objects);
        EXPECT_EQ(result.status, AdapterProbeResult::Status::Found) << c.what;
        EXPECT_EQ(result.path, c.chosen) << c.what;
        EXPECT_EQ(result.powered, c.powered) << c.what;
        EXPECT_EQ(result.usable(), c.powered) << c.what;
        EXPECT_EQ(result.poweredAdapters, c.poweredAdapters) << c.what;
    }
}

TEST(ChooseAdapter, NamesTheAdapterByAliasElseByName) {
    ManagedObjects objects;
    addAdapter(objects, "/org/bluez/hci0", true, QString(), "plain");
    EXPECT_EQ(ble::bluez::chooseAdapter(objects).name, "plain");
    addAdapter(objects, "/org/bluez/hci0", true, "nick", "plain");
    const AdapterProbeResult result = ble::bluez::chooseAdapter(objects);
    EXPECT_EQ(result.name, "nick");
    EXPECT_EQ(result.address, "00:11:22:33:44:i0");
}

}  // namespace
