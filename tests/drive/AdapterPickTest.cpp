// --adapter picks an adapter by its name (hci0) or its address in any case;
// a name that matches nothing says which adapters there are, and an adapter
// that is off is not driven.
#include <gtest/gtest.h>

#include "radio/AdapterLookup.h"

namespace {

TEST(AdapterPick, ByNameOrAddressElseWhatThereIs) {
    const std::vector<KnownAdapter> two{{"hci0", "desk", "0A:0B:0C:0D:0E:0F", false},
                                        {"hci1", "dongle", "00:1A:7D:DA:71:13", true}};
    struct Case {
        QString wanted;
        std::vector<KnownAdapter> adapters;
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

}  // namespace
