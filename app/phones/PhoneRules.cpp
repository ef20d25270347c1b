#include "app/phones/PhoneRules.h"

#include <algorithm>
#include <utility>

namespace phone {

RateGate::Verdict RateGate::admit(Millis now) {
    if (count_ == passed_.size() && now - passed_[next_] < Millis(1000)) {
        return std::exchange(told_, true) ? Verdict::Drop : Verdict::DropAndTell;
    }
    passed_[next_] = now;
    next_ = (next_ + 1) % passed_.size();
    count_ = std::min(count_ + 1, passed_.size());
    told_ = false;
    return Verdict::Pass;
}

PhoneRules::Phone* PhoneRules::find(const std::string& phone) {
    const auto found = phones_.find(phone);
    return found == phones_.end() ? nullptr : &found->second;
}

const PhoneRules::Phone* PhoneRules::find(const std::string& phone) const {
    const auto found = phones_.find(phone);
    return found == phones_.end() ? nullptr : &found->second;
}

PhoneRules::Join PhoneRules::join(const std::string& phone, const std::string& label, Millis now) {
    Phone* known = find(phone);
    if (!(known && known->present) && phonesPresent().size() >= kMostPhones) return Join::Full;
    if (!known) known = &phones_[phone];
    const bool back = known->car.has_value();
    if (back && !known->present) {
        // Time away counts on only while someone waits for the car.
        known->awayBefore = firstAsking(*known->car) ? known->awayBefore + (now - known->leftAt) : Millis(0);
    }
    known->label = label;
    known->present = true;
    known->stoppedForQuiet = false;
    known->lastHeard = now;
    known->order = joins_++;
    return back ? Join::WelcomeBack : Join::Welcome;
}

std::optional<std::string> PhoneRules::leave(const std::string& phone, Millis now) {
    Phone* known = find(phone);
    if (!known || !known->present) return std::nullopt;
    known->present = false;
    known->leftAt = now;
    known->asking.reset();
    if (!known->car) {
        phones_.erase(phone);
        return std::nullopt;
    }
    return known->car;
}

void PhoneRules::heard(const std::string& phone, Millis now) {
    if (Phone* known = find(phone)) {
        known->lastHeard = now;
        known->stoppedForQuiet = false;
    }
}

RateGate::Verdict PhoneRules::admit(const std::string& phone, Millis now) {
    Phone* known = find(phone);
    return known ? known->rate.admit(now) : RateGate::Verdict::Drop;
}

PhoneRules::Claim PhoneRules::claim(const std::string& phone, const std::string& car) {
    Phone* known = find(phone);
    const std::optional<std::string> holder = phoneOf(car);
    if (!known) return Claim::Taken;
    if (holder && *holder != phone) {
        if (known->present && !present(*holder) && known->asking != car) {
            known->asking = car;
            known->askOrder = asks_++;
        }
        return Claim::Taken;
    }
    known->asking.reset();
    known->car = car;
    forgetAsksFor(car);
    return Claim::Granted;
}

PhoneRules::Phone* PhoneRules::firstAsking(const std::string& car) {
    Phone* first = nullptr;
    for (auto& [id, phone] : phones_) {
        if (phone.present && phone.asking == car && (!first || phone.askOrder < first->askOrder)) first = &phone;
    }
    return first;
}

void PhoneRules::forgetAsksFor(const std::string& car) {
    for (auto& [id, phone] : phones_) {
        if (phone.asking == car) phone.asking.reset();
    }
}

std::optional<std::string> PhoneRules::release(const std::string& phone) {
    Phone* known = find(phone);
    if (!known) return std::nullopt;
    std::optional<std::string> car = std::exchange(known->car, std::nullopt);
    known->asking.reset();
    if (car) forgetAsksFor(*car);
    if (!known->present) phones_.erase(phone);
    return car;
}

void PhoneRules::carGone(const std::string& car) {
    if (const std::optional<std::string> holder = phoneOf(car)) release(*holder);
    forgetAsksFor(car);
}

PhoneRules::Due PhoneRules::tick(Millis now) {
    Due due;
    for (auto it = phones_.begin(); it != phones_.end();) {
        Phone& phone = it->second;
        if (!phone.present && phone.awayBefore + (now - phone.leftAt) >= kClaimKept) {
            if (Phone* next = phone.car ? firstAsking(*phone.car) : nullptr) {
                const auto nextId = std::find_if(phones_.begin(), phones_.end(),
                                                 [next](const auto& entry) { return &entry.second == next; });
                due.handed.push_back({*phone.car, nextId->first, std::exchange(next->car, phone.car)});
                forgetAsksFor(*phone.car);
            } else if (phone.car) {
                due.freed.push_back(*phone.car);
            }
            it = phones_.erase(it);
            continue;
        }
        if (phone.present && phone.car && !phone.stoppedForQuiet && now - phone.lastHeard >= kQuietStop) {
            phone.stoppedForQuiet = true;
            due.stop.push_back(*phone.car);
        }
        ++it;
    }
    return due;
}

std::optional<std::string> PhoneRules::carOf(const std::string& phone) const {
    const Phone* known = find(phone);
    return known ? known->car : std::nullopt;
}

std::optional<std::string> PhoneRules::phoneOf(const std::string& car) const {
    for (const auto& [id, phone] : phones_) {
        if (phone.car == car) return id;
    }
    return std::nullopt;
}

std::string PhoneRules::labelOf(const std::string& phone) const {
    const Phone* known = find(phone);
    return known ? known->label : std::string();
}

void PhoneRules::rename(const std::string& phone, const std::string& label) {
    if (Phone* known = find(phone)) known->label = label;
}

bool PhoneRules::present(const std::string& phone) const {
    const Phone* known = find(phone);
    return known && known->present;
}

std::vector<std::string> PhoneRules::carsHeld() const {
    std::vector<std::string> cars;
    for (const auto& [id, phone] : phones_) {
        if (phone.car) cars.push_back(*phone.car);
    }
    return cars;
}

std::vector<std::string> PhoneRules::phonesWhere(bool present) const {
    std::vector<std::pair<std::size_t, std::string>> found;
    for (const auto& [id, phone] : phones_) {
        if (phone.present == present) found.emplace_back(phone.order, id);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> ids;
    for (auto& [order, id] : found) ids.push_back(std::move(id));
    return ids;
}

std::vector<std::string> PhoneRules::phonesPresent() const { return phonesWhere(true); }

// Only phones holding a car stay known while away.
std::vector<std::string> PhoneRules::phonesAway() const { return phonesWhere(false); }

}  // namespace phone
