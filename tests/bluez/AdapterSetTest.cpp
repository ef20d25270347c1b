// Which of BlueZ's adapters the radio drives: one (by address, else the first
// powered one, kept while it is there), a list by name or address, or all of
// them as they come and go.
#include <gtest/gtest.h>

#include "ble/bluez/AdapterSet.h"
#include "ble/bluez/ObjectMirror.h"

namespace {

using ble::bluez::AdapterSet;
using ble::bluez::ObjectMirror;

void plugIn(ObjectMirror& mirror, const QString& name, const QString& address, bool powered) {
    mirror.add(QStringLiteral("/org/bluez/") + name,
               {{QStringLiteral("org.bluez.Adapter1"),
                 {{QStringLiteral("Address"), address}, {QStringLiteral("Powered"), powered}}}});
}

QStringList chosen(const AdapterSet& set) {
    QStringList names;
    for (const auto& [path, adapter] : set.all()) names << path.section(QLatin1Char('/'), -1);
    return names;
}

TEST(AdapterSet, ChoosesByTheOptionsAndFollowsAdaptersThatComeAndGo) {
    struct Case {
        const char* what;
        std::string address;
        std::vector<std::string> adapters;
        QStringList first;       // with hci0 (off) and hci1 (on)
        QStringList afterHci2;   // hci2 (on) plugged in, hci0 powered on
        QStringList afterHci1;   // then hci1 unplugged
    };
    const std::vector<Case> cases{
        {"the first powered one, kept", "", {}, {"hci1"}, {"hci1"}, {"hci0"}},
        {"by address, in any case", "00:00:00:00:00:0a", {}, {}, {"hci2"}, {"hci2"}},
        {"a list by name and address", "", {"hci0", "00:00:00:00:00:0a"}, {"hci0"}, {"hci0", "hci2"}, {"hci0", "hci2"}},
        {"every one", "", {"all"}, {"hci0", "hci1"}, {"hci0", "hci1", "hci2"}, {"hci0", "hci2"}},
    };
    for (const Case& c : cases) {
        ble::bluez::RadioOptions options;
        options.adapterAddress = c.address;
        options.adapters = c.adapters;
        AdapterSet set(options);
        ObjectMirror mirror;
        plugIn(mirror, "hci0", "00:00:00:00:00:00", false);
        plugIn(mirror, "hci1", "00:00:00:00:00:01", true);
        set.choose(mirror);
        EXPECT_EQ(chosen(set), c.first) << c.what;
        plugIn(mirror, "hci2", "00:00:00:00:00:0A", true);
        plugIn(mirror, "hci0", "00:00:00:00:00:00", true);
        set.choose(mirror);
        EXPECT_EQ(chosen(set), c.afterHci2) << c.what;
        mirror.remove(QStringLiteral("/org/bluez/hci1"), {QStringLiteral("org.bluez.Adapter1")});
        const std::vector<QString> gone = set.choose(mirror);
        EXPECT_EQ(chosen(set), c.afterHci1) << c.what;
        EXPECT_EQ(gone.size(), c.afterHci2.contains("hci1") ? 1u : 0u) << c.what;
    }
}

}  // namespace
