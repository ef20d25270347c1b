// The worlds the programs start with: the default three cars, one for each
// panel, and fleets of any size that begin with those three.
#include <algorithm>
#include <iterator>
#include <string>

#include "ble/sim/World.h"

namespace ble::sim {
namespace {

struct ModelLine {
    uint8_t model;
    const char* name;
};

// The models in the order a fleet takes them, round and round: the panels'
// three first, then models without a panel, so a fleet of nine or more has
// every model at least once and repeats some.
constexpr ModelLine kModels[] = {{9, "Vexa"},  {18, "Drummet"}, {19, "Pellan"}, {7, "Korrin"},
                                 {8, "Tamsel"}, {10, "Ostra"},   {11, "Brevik"}, {12, "Lumo"}};

// The default world's identifiers, which scripts and notes have long used.
constexpr uint32_t kDefaultIdentifiers[] = {0x12345678, 0xCAFE0018, 0x00001913};

// The most cars a fleet numbers apart in its identifiers' low 16 bits.
constexpr int kMostVehicles = 0xFFFF;

// Firmware versions read as 26.<model>, the model in decimal digits.
uint16_t versionOf(uint8_t model) {
    return static_cast<uint16_t>(0x2600 | ((model / 10 % 10) << 4) | (model % 10));
}

// The car at `position` (1 for the first): one of the default three, or a
// car whose identifier holds its model and position, named after its model
// and numbered by its position so that no two share a name.
VehicleProfile fleetVehicle(int position) {
    const auto index = static_cast<std::size_t>(position - 1);
    const ModelLine& line = kModels[index % std::size(kModels)];
    VehicleProfile profile;
    profile.model = line.model;
    profile.version = versionOf(line.model);
    if (index < std::size(kDefaultIdentifiers)) {
        profile.identifier = kDefaultIdentifiers[index];
        profile.name = line.name;
    } else {
        profile.identifier = 0x5E000000u | (uint32_t{line.model} << 16) | static_cast<uint32_t>(position);
        profile.name = std::string(line.name) + " " + std::to_string(position);
    }
    return profile;
}

}  // namespace

void World::populateDefault(World& world) { populate(world, kDefaultVehicles); }

void World::populate(World& world, int count) {
    const int cars = std::clamp(count, 0, kMostVehicles);
    for (int position = 1; position <= cars; ++position) world.addVehicle(fleetVehicle(position));
}

}  // namespace ble::sim
