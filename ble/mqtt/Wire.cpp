#include "ble/mqtt/Wire.h"

#include <charconv>
#include <random>

namespace ble::mqtt::wire {
namespace {

bool tokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == ':' || c == '-';
}

// Splits on single spaces; an empty field (two spaces, a leading or trailing
// one) refuses the whole line.
std::optional<std::vector<std::string_view>> fieldsOf(std::string_view payload) {
    if (payload.empty() || payload.size() > kMaxPayload) return std::nullopt;
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t space = payload.find(' ', start);
        const std::string_view field = payload.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start);
        if (field.empty() || fields.size() >= 8) return std::nullopt;
        fields.push_back(field);
        if (space == std::string_view::npos) return fields;
        start = space + 1;
    }
}

std::optional<Uuid> uuidOf(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    const Uuid uuid = Uuid::fromString(text);
    if (uuid.isNull()) return std::nullopt;
    return uuid;
}

std::string uuidList(const std::vector<Uuid>& uuids) {
    if (uuids.empty()) return "-";
    std::string text;
    for (const Uuid& uuid : uuids) {
        if (!text.empty()) text += ',';
        text += uuid.toString();
    }
    return text;
}

std::optional<std::vector<Uuid>> uuidsOf(std::string_view text) {
    std::vector<Uuid> uuids;
    if (text == "-") return uuids;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const auto uuid = uuidOf(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (!uuid || uuids.size() >= kMaxUuids) return std::nullopt;
        uuids.push_back(*uuid);
        if (comma == std::string_view::npos) return uuids;
        start = comma + 1;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> frameOf(std::string_view text) {
    if (text == "-") return std::vector<uint8_t>{};
    return bytesOfHex(text, kMaxFrame);
}

std::string frameText(const std::vector<uint8_t>& bytes) { return bytes.empty() ? "-" : hexOf(bytes); }

std::optional<bool> bitOf(std::string_view text) {
    if (text == "0") return false;
    if (text == "1") return true;
    return std::nullopt;
}

std::string join(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (std::string_view field : fields) {
        if (!line.empty()) line += ' ';
        line += field;
    }
    return line;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

bool isToken(std::string_view text) {
    if (text.empty() || text.size() > kMaxToken) return false;
    for (char c : text) {
        if (!tokenChar(c)) return false;
    }
    return true;
}

std::string tokenFrom(std::string_view text) {
    std::string token;
    for (char c : text.substr(0, kMaxToken)) token += tokenChar(c) ? c : '-';
    return token.empty() ? "relay" : token;
}

namespace {
constexpr std::string_view kBrokerLost = "the broker at ";
}  // namespace

std::string brokerLostEnd(std::string_view broker) {
    std::string end(kBrokerLost);
    end += broker;
    end += " was lost";
    return end;
}

bool isBrokerLostEnd(std::string_view end) { return end.substr(0, kBrokerLost.size()) == kBrokerLost; }

std::string hexOf(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::string randomHex(std::size_t bytes) {
    std::random_device source;
    std::vector<uint8_t> drawn(bytes);
    for (uint8_t& byte : drawn) byte = static_cast<uint8_t>(source());
    return hexOf(drawn);
}

std::optional<std::vector<uint8_t>> bytesOfHex(std::string_view hex, std::size_t maxBytes) {
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() / 2 > maxBytes) return std::nullopt;
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char* first = hex.data() + 2 * i;
        const auto [end, error] = std::from_chars(first, first + 2, bytes[i], 16);
        if (error != std::errc() || end != first + 2) return std::nullopt;
    }
    return bytes;
}

std::string statusTopic(std::string_view relay) { return std::string(kRoot) + std::string(relay) + "/status"; }
std::string advertTopic(std::string_view relay) { return std::string(kRoot) + std::string(relay) + "/adv"; }
std::string requestTopic(std::string_view relay, std::string_view driver) {
    return std::string(kRoot) + std::string(relay) + "/from/" + std::string(driver);
}
std::string answerTopic(std::string_view relay, std::string_view driver) {
    return std::string(kRoot) + std::string(relay) + "/to/" + std::string(driver);
}
std::string driverWillTopic(std::string_view driver) {
    return std::string(kRoot) + std::string(kDrivers) + "/" + std::string(driver);
}

std::optional<Topic> readTopic(std::string_view topic) {
    if (topic.size() > kMaxTopic || !startsWith(topic, kRoot)) return std::nullopt;
    std::vector<std::string_view> parts;
    std::string_view rest = topic.substr(kRoot.size());
    while (true) {
        if (parts.size() == 4) return std::nullopt;  // deeper than any topic of ours
        const std::size_t slash = rest.find('/');
        parts.push_back(rest.substr(0, slash));
        if (slash == std::string_view::npos) break;
        rest = rest.substr(slash + 1);
    }
    for (std::string_view part : parts) {
        if (!isToken(part)) return std::nullopt;
    }
    // A driver is its broker login and its session: two levels.
    const auto driverAt = [&parts](std::size_t at) { return std::string(parts[at]) + "/" + std::string(parts[at + 1]); };
    if (parts[0] == kDrivers) {
        if (parts.size() != 3) return std::nullopt;
        return Topic{TopicKind::DriverWill, {}, driverAt(1)};
    }
    const std::string relay(parts[0]);
    if (parts.size() == 2 && parts[1] == "status") return Topic{TopicKind::Status, relay, {}};
    if (parts.size() == 2 && parts[1] == "adv") return Topic{TopicKind::Advert, relay, {}};
    if (parts.size() == 4 && parts[1] == "from") return Topic{TopicKind::Request, relay, driverAt(2)};
    if (parts.size() == 4 && parts[1] == "to") return Topic{TopicKind::Answer, relay, driverAt(2)};
    return std::nullopt;
}

std::string driverId(std::string_view login, std::string_view session) {
    return (isToken(login) ? std::string(login) : std::string(kNoLogin)) + "/" + std::string(session);
}

std::string writeStatus(const Status& status) {
    if (!status.online) return "offline";
    return status.instance.empty() ? std::string("online") : join({"online", status.instance});
}

std::optional<Status> readStatus(std::string_view payload) {
    const auto fields = fieldsOf(payload);
    if (!fields) return std::nullopt;
    const auto& f = *fields;
    if (f.size() == 1 && f[0] == "offline") return Status{false, {}};
    if (f.size() == 1 && f[0] == "online") return Status{true, {}};
    if (f.size() == 2 && f[0] == "online" && isToken(f[1])) return Status{true, std::string(f[1])};
    return std::nullopt;
}

std::string writeAdvert(const Advert& advert) {
    const std::vector<uint8_t> name(advert.data.localName.begin(), advert.data.localName.end());
    const std::vector<uint8_t> mfg = advert.data.manufacturerData.value_or(std::vector<uint8_t>{});
    return join({"adv", advert.car, std::to_string(advert.rssi), advert.data.manufacturerData ? hexOf(mfg) : "-",
                 uuidList(advert.data.serviceUuids), frameText(name)});
}

std::optional<Advert> readAdvert(std::string_view payload) {
    const auto fields = fieldsOf(payload);
    if (!fields || fields->size() != 6 || (*fields)[0] != "adv" || !isToken((*fields)[1])) return std::nullopt;
    Advert advert;
    advert.car = std::string((*fields)[1]);
    const std::string_view rssi = (*fields)[2];
    const auto [end, error] = std::from_chars(rssi.data(), rssi.data() + rssi.size(), advert.rssi);
    if (error != std::errc() || end != rssi.data() + rssi.size() || advert.rssi < -127 || advert.rssi > 127) {
        return std::nullopt;
    }
    if ((*fields)[3] != "-") {
        auto mfg = bytesOfHex((*fields)[3], 255);
        if (!mfg) return std::nullopt;
        advert.data.manufacturerData = std::move(*mfg);
    }
    auto uuids = uuidsOf((*fields)[4]);
    auto name = frameOf((*fields)[5]);
    if (!uuids || !name) return std::nullopt;
    advert.data.serviceUuids = std::move(*uuids);
    for (uint8_t byte : *name) {
        if (byte < 0x20 || byte == 0x7F) return std::nullopt;  // a name is printable text
    }
    advert.data.localName.assign(name->begin(), name->end());
    return advert;
}

std::string writeRequest(const Request& request) {
    using Kind = Request::Kind;
    const std::string uuid = request.uuid.toString();
    switch (request.kind) {
    case Kind::Connect: return join({"connect", request.car});
    case Kind::Release: return join({"release", request.car});
    case Kind::Services: return join({"services", request.car});
    case Kind::Characteristics: return join({"characteristics", request.car, uuid});
    case Kind::Notify: return join({"notify", request.car, uuid, request.flag ? "1" : "0"});
    case Kind::Stops: {
        std::string frames;
        for (const auto& frame : request.frames) {
            if (!frames.empty()) frames += ',';
            frames += hexOf(frame);
        }
        return join({"stops", request.car, uuid, frames});
    }
    case Kind::Write:
        return join({"write", request.car, uuid, request.slot.empty() ? "-" : request.slot, request.flag ? "r" : "n",
                     frameText(request.frames.empty() ? std::vector<uint8_t>{} : request.frames.front())});
    case Kind::Beat: return "beat";
    }
    return "beat";
}

std::optional<Request> readRequest(std::string_view payload) {
    using Kind = Request::Kind;
    const auto fields = fieldsOf(payload);
    if (!fields) return std::nullopt;
    const auto& f = *fields;
    Request request;
    if (f.size() == 1 && f[0] == "beat") return request;
    if (f.size() < 2 || !isToken(f[1])) return std::nullopt;
    request.car = std::string(f[1]);
    if (f.size() == 2) {
        if (f[0] == "connect") request.kind = Kind::Connect;
        else if (f[0] == "release") request.kind = Kind::Release;
        else if (f[0] == "services") request.kind = Kind::Services;
        else return std::nullopt;
        return request;
    }
    const auto uuid = uuidOf(f[2]);
    if (!uuid) return std::nullopt;
    request.uuid = *uuid;
    if (f[0] == "characteristics" && f.size() == 3) {
        request.kind = Kind::Characteristics;
        return request;
    }
    if (f[0] == "notify" && f.size() == 4) {
        const auto on = bitOf(f[3]);
        if (!on) return std::nullopt;
        request.kind = Kind::Notify;
        request.flag = *on;
        return request;
    }
    if (f[0] == "stops" && f.size() == 4) {
        request.kind = Kind::Stops;
        std::string_view list = f[3];
        while (true) {
            const std::size_t comma = list.find(',');
            auto frame = bytesOfHex(list.substr(0, comma), kMaxFrame);
            if (!frame || request.frames.size() >= kMaxStopFrames) return std::nullopt;
            request.frames.push_back(std::move(*frame));
            if (comma == std::string_view::npos) return request;
            list = list.substr(comma + 1);
        }
    }
    if (f[0] == "write" && f.size() == 6) {
        if (f[3] != "-" && !isToken(f[3])) return std::nullopt;
        if (f[4] != "r" && f[4] != "n") return std::nullopt;
        auto frame = frameOf(f[5]);
        if (!frame) return std::nullopt;
        request.kind = Kind::Write;
        request.slot = f[3] == "-" ? std::string() : std::string(f[3]);
        request.flag = f[4] == "r";
        request.frames.push_back(std::move(*frame));
        return request;
    }
    return std::nullopt;
}

std::string writeAnswer(const Answer& answer) {
    using Kind = Answer::Kind;
    const std::string uuid = answer.uuid.toString();
    const std::string outcome = answer.reason.empty() ? "ok" : answer.reason;
    switch (answer.kind) {
    case Kind::Connected: return join({"connected", answer.car});
    case Kind::Failed: return join({"failed", answer.car, answer.reason.empty() ? "link" : answer.reason});
    case Kind::Lost: return answer.reason.empty() ? join({"lost", answer.car}) : join({"lost", answer.car, answer.reason});
    case Kind::Services: return join({"services", answer.car, uuidList(answer.uuids)});
    case Kind::Characteristics: return join({"characteristics", answer.car, uuid, uuidList(answer.uuids)});
    case Kind::Notifying: return join({"notifying", answer.car, uuid, answer.flag ? "1" : "0", outcome});
    case Kind::Written: return join({"written", answer.car, uuid, outcome});
    case Kind::Value: return join({"value", answer.car, uuid, frameText(answer.value)});
    }
    return {};
}

std::optional<Answer> readAnswer(std::string_view payload) {
    using Kind = Answer::Kind;
    const auto fields = fieldsOf(payload);
    if (!fields || fields->size() < 2 || !isToken((*fields)[1])) return std::nullopt;
    const auto& f = *fields;
    Answer answer;
    answer.car = std::string(f[1]);
    if (f.size() == 2) {
        if (f[0] == "connected") answer.kind = Kind::Connected;
        else if (f[0] == "lost") answer.kind = Kind::Lost;
        else return std::nullopt;
        return answer;
    }
    if ((f[0] == "failed" || f[0] == "lost") && f.size() == 3 && isToken(f[2])) {
        answer.kind = f[0] == "failed" ? Kind::Failed : Kind::Lost;
        answer.reason = std::string(f[2]);
        return answer;
    }
    if (f[0] == "services" && f.size() == 3) {
        auto uuids = uuidsOf(f[2]);
        if (!uuids) return std::nullopt;
        answer.kind = Kind::Services;
        answer.uuids = std::move(*uuids);
        return answer;
    }
    const auto uuid = uuidOf(f[2]);
    if (!uuid) return std::nullopt;
    answer.uuid = *uuid;
    const auto outcome = [&answer](std::string_view text) {
        if (!isToken(text)) return false;
        answer.reason = text == "ok" ? std::string() : std::string(text);
        return true;
    };
    if (f[0] == "characteristics" && f.size() == 4) {
        auto uuids = uuidsOf(f[3]);
        if (!uuids) return std::nullopt;
        answer.kind = Kind::Characteristics;
        answer.uuids = std::move(*uuids);
        return answer;
    }
    if (f[0] == "notifying" && f.size() == 5) {
        const auto on = bitOf(f[3]);
        if (!on || !outcome(f[4])) return std::nullopt;
        answer.kind = Kind::Notifying;
        answer.flag = *on;
        return answer;
    }
    if (f[0] == "written" && f.size() == 4 && outcome(f[3])) {
        answer.kind = Kind::Written;
        return answer;
    }
    if (f[0] == "value" && f.size() == 4) {
        auto value = frameOf(f[3]);
        if (!value) return std::nullopt;
        answer.kind = Kind::Value;
        answer.value = std::move(*value);
        return answer;
    }
    return std::nullopt;
}

}  // namespace ble::mqtt::wire
