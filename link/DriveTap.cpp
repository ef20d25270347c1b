#include "link/DriveTap.h"

#include "link/ObserverList.h"

namespace {

ObserverList<DriveObserver>& observers() {
    static ObserverList<DriveObserver> list;
    return list;
}
thread_local const char* currentOccasion = nullptr;

}  // namespace

namespace DriveTap {

void addObserver(DriveObserver* observer) { observers().add(observer); }

void removeObserver(DriveObserver* observer) { observers().remove(observer); }

bool listened() { return !observers().empty(); }

Occasion::Occasion(const char* text) : outer_(currentOccasion) { currentOccasion = text; }

Occasion::~Occasion() { currentOccasion = outer_; }

void commandSent(const SentCommand& command) {
    if (!listened()) return;
    SentCommand told = command;
    if (told.occasion == nullptr) told.occasion = currentOccasion;
    observers().notify([&told](DriveObserver& observer) { observer.commandSent(told); });
}

void valueNotified(std::uint32_t vehicle, const std::vector<std::uint8_t>& value) {
    if (!listened()) return;
    observers().notify([&](DriveObserver& observer) { observer.valueNotified(vehicle, value); });
}

}  // namespace DriveTap
