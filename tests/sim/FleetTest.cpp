// Fleets of any size: every car advertises an identifier and a name of its
// own, the models mix as the programs promise, and a crowded world never puts
// more than a burst of reports into one turn of the loop.
#include <map>
#include <set>

#include "SimFixture.h"

namespace simtest {
namespace {

class FleetTest : public SimTest {
  protected:
    // One advertising interval of scanning: every car once.
    std::vector<Event> scanOneRound() {
        makeCentral();
        loop.runUntilIdle();
        central->scanForPeripheralsWithServices({kVehicleService});
        loop.advance(219ms);
        return recorder->of("discover");
    }
};

uint32_t identifierOf(const Event& report) {
    const auto& data = *report.manufacturerData;
    return uint32_t{data[4]} << 24 | uint32_t{data[5]} << 16 | uint32_t{data[6]} << 8 | data[7];
}

TEST_F(FleetTest, EveryCarAdvertisesOnceARoundWithItsOwnIdentifierAndName) {
    using Models = std::map<int, int>;  // model: cars
    const std::pair<int, Models> fleets[] = {
        {0, {}},
        {1, {{9, 1}}},
        {3, {{9, 1}, {18, 1}, {19, 1}}},
        {12, {{7, 2}, {8, 1}, {9, 2}, {10, 1}, {11, 1}, {12, 1}, {18, 2}, {19, 2}}},
        {24, {{7, 3}, {8, 3}, {9, 3}, {10, 3}, {11, 3}, {12, 3}, {18, 3}, {19, 3}}},
        {256, {{7, 32}, {8, 32}, {9, 32}, {10, 32}, {11, 32}, {12, 32}, {18, 32}, {19, 32}}},
    };
    for (const auto& [count, models] : fleets) {
        SCOPED_TRACE(count);
        world = std::make_unique<World>(loop);
        recorder = std::make_shared<Recorder>(loop);
        World::populate(*world, count);
        std::set<uint32_t> identifiers;
        std::set<std::string> names;
        std::map<std::chrono::milliseconds, int> perTurn;
        Models seen;
        for (const Event& report : scanOneRound()) {
            identifiers.insert(identifierOf(report));
            names.insert(report.localName);
            ++seen[(*report.manufacturerData)[3]];
            EXPECT_LE(++perTurn[report.at], 8) << "reports at " << report.at.count() << " ms";
        }
        EXPECT_EQ(identifiers.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(names.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(seen, models);
    }
}

TEST_F(FleetTest, TheFirstTwelveCarsAreFixedAndBeginWithTheDefaultWorld) {
    World::populate(*world, 12);
    const std::tuple<uint32_t, int, std::string> expected[] = {
        {0x12345678, 9, "Vexa"},        {0xCAFE0018, 18, "Drummet"},    {0x00001913, 19, "Pellan"},
        {0x5E070004, 7, "Korrin 4"},    {0x5E080005, 8, "Tamsel 5"},    {0x5E0A0006, 10, "Ostra 6"},
        {0x5E0B0007, 11, "Brevik 7"},   {0x5E0C0008, 12, "Lumo 8"},     {0x5E090009, 9, "Vexa 9"},
        {0x5E12000A, 18, "Drummet 10"}, {0x5E13000B, 19, "Pellan 11"}, {0x5E07000C, 7, "Korrin 12"},
    };
    const auto reports = scanOneRound();
    ASSERT_EQ(reports.size(), std::size(expected));
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(std::make_tuple(identifierOf(reports[i]), int{(*reports[i].manufacturerData)[3]},
                                  reports[i].localName),
                  expected[i]);
    }
}

}  // namespace
}  // namespace simtest
