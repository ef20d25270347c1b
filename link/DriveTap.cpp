#include "link/DriveTap.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

std::recursive_mutex& observersMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}
std::vector<DriveObserver*>& observers() {
    static std::vector<DriveObserver*> list;
    return list;
}
std::atomic<std::size_t> observerCount{0};
thread_local const char* currentOccasion = nullptr;

template <typename Call>
void notify(Call call) {
    std::lock_guard lock(observersMutex());
    const std::vector<DriveObserver*> snapshot = observers();
    for (DriveObserver* observer : snapshot) {
        const auto& current = observers();
        if (std::find(current.begin(), current.end(), observer) != current.end()) call(*observer);
    }
}

}  // namespace

namespace DriveTap {

void addObserver(DriveObserver* observer) {
    if (observer == nullptr) return;
    std::lock_guard lock(observersMutex());
    auto& list = observers();
    if (std::find(list.begin(), list.end(), observer) == list.end()) list.push_back(observer);
    observerCount.store(list.size());
}

void removeObserver(DriveObserver* observer) {
    std::lock_guard lock(observersMutex());
    std::erase(observers(), observer);
    observerCount.store(observers().size());
}

bool listened() { return observerCount.load() > 0; }

Occasion::Occasion(const char* text) : outer_(currentOccasion) { currentOccasion = text; }

Occasion::~Occasion() { currentOccasion = outer_; }

void commandSent(const SentCommand& command) {
    if (!listened()) return;
    SentCommand told = command;
    if (told.occasion == nullptr) told.occasion = currentOccasion;
    notify([&told](DriveObserver& observer) { observer.commandSent(told); });
}

void valueNotified(std::uint32_t vehicle, const std::vector<std::uint8_t>& value) {
    if (!listened()) return;
    notify([&](DriveObserver& observer) { observer.valueNotified(vehicle, value); });
}

}  // namespace DriveTap
