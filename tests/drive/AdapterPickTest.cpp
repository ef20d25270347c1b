// --adapter picks an adapter by its name (hci0) or its address in any case;
// a name that matches nothing says which adapters there are, and an adapter
// that is off is not driven.
#include <gtest/gtest.h>

#include "radio/AdapterLookup.h"

namespace {

TEST(AdapterPick, ByNameOrAddressElseWhatThereIs) {
    const std::vector<AdapterEntry> two{{"desk", "0A:0B:0C:0D:0E:0F", false, "hci0"},
                                        {"dongle", "00:1A:7D:DA:71:13", true, "hci1"}};
    struct Case {
        QString wanted;
        std::vector<AdapterEntry> adapters;
        QString picked;  // the adapter's address, or empty
        QString problem;
    };
    const Case cases[] = {
        {"hci1", two, "00:1A:7D:DA:71:13", ""},
        {"00:1a:7d:da:71:13", two, "00:1A:7D:DA:71:13", ""},
        {"", two, "00:1A:7D:DA:71:13", ""},  // the powered one, though listed second
        {"hci0", two, "", "Bluetooth adapter hci0 is powered off"},
        {"0a:0b:0c:0d:0e:0f", two, "", "Bluetooth adapter hci0 is powered off"},
        {"desk", two, "", "no Bluetooth adapter desk (there are: hci0, hci1)"},
        {"hci3", two, "", "no Bluetooth adapter hci3 (there are: hci0, hci1)"},
        {"hci3", {}, "", "no Bluetooth adapter hci3 (there are none)"},
        {"", {}, "", "no Bluetooth adapter"},
        {"", {two.front()}, "", "Bluetooth adapter hci0 is powered off"},
    };
    for (const Case& c : cases) {
        const AdapterLookup lookup = pickAdapter(c.wanted, c.adapters);
        EXPECT_EQ(lookup.adapter ? lookup.adapter->address : QString(), c.picked) << c.wanted.toStdString();
        EXPECT_EQ(lookup.problem, c.problem) << c.wanted.toStdString();
        if (lookup.adapter) {
            EXPECT_EQ(lookup.adapter->name, "hci1") << "named as the system names it";
        }
    }
}

// A list takes every adapter it names, each there and powered, or says which
// is not; "all" takes the powered ones and needs one.
TEST(AdapterPick, AListOrAll) {
    const std::vector<AdapterEntry> three{{"desk", "0A:0B:0C:0D:0E:0F", true, "hci0"},
                                          {"dongle", "00:1A:7D:DA:71:13", true, "hci1"},
                                          {"spare", "00:1A:7D:DA:71:14", false, "hci2"}};
    struct Case {
        QStringList wanted;
        std::vector<AdapterEntry> adapters;
        QStringList picked;  // names, in the order asked
        QString problem;
    };
    const Case cases[] = {
        {{"hci1", "hci0"}, three, {"hci1", "hci0"}, ""},
        {{"hci0", "00:1a:7d:da:71:13", "hci0"}, three, {"hci0", "hci1"}, ""},  // each once
        {{"hci0", "hci3"}, three, {}, "no Bluetooth adapter hci3 (there are: hci0, hci1, hci2)"},
        {{"hci0", "hci2"}, three, {}, "Bluetooth adapter hci2 is powered off"},
        {{"all"}, three, {"hci0", "hci1"}, ""},
        {{"all"}, {three[2]}, {}, "no Bluetooth adapter is powered on (there are: hci2)"},
        {{"all"}, {}, {}, "no Bluetooth adapter"},
    };
    for (const Case& c : cases) {
        const std::string what = c.wanted.join(',').toStdString();
        const AdaptersLookup lookup = pickAdapters(c.wanted, c.adapters);
        QStringList picked;
        for (const AdapterEntry& adapter : lookup.adapters) picked << adapter.name;
        EXPECT_EQ(picked, c.picked) << what;
        EXPECT_EQ(lookup.problem, c.problem) << what;
        EXPECT_EQ(lookup.every, c.wanted == QStringList{"all"}) << what;
    }
}

}  // namespace
