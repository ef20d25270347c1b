#include "app/phones/PhoneMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

namespace phone {
namespace {

bool isHex(const QString& text, qsizetype length) {
    if (text.size() != length) return false;
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
    }
    return true;
}

bool isIdentity(const QString& text) {
    if (text.size() < 8 || text.size() > 64) return false;
    for (const QChar c : text) {
        const bool plain = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           c == u'-' || c == u'_';
        if (!plain) return false;
    }
    return true;
}

// A name fit to show on a panel: printable, one line, at most 24 characters.
std::optional<std::string> readName(const QJsonValue& value) {
    if (value.isUndefined()) return std::string();
    if (!value.isString()) return std::nullopt;
    const QString name = value.toString().simplified();
    const QList<uint> characters = name.toUcs4();
    if (characters.size() > 24) return std::nullopt;
    for (const uint c : characters) {
        if (!QChar::isPrint(static_cast<char32_t>(c))) return std::nullopt;
    }
    return name.toStdString();
}

// Car keys are the cars' identifiers in decimal.
bool isCarKey(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

std::optional<double> readValue(const QJsonValue& value, double low, double high) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < low || number > high) return std::nullopt;
    return number;
}

QString compact(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

}  // namespace

std::optional<Message> readMessage(const QString& text) {
    if (text.size() > kLongestMessage) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    const QString type = object.value(QStringLiteral("type")).toString();
    Message message;
    // Every kind names the fields it takes; any other field is a fault.
    auto fieldsAre = [&object](std::initializer_list<const char*> allowed) {
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool known = it.key() == QLatin1String("type");
            for (const char* field : allowed) known = known || it.key() == QLatin1String(field);
            if (!known) return false;
        }
        return true;
    };
    using Kind = Message::Kind;
    static const std::pair<const char*, Kind> plain[] = {
        {"beat", Kind::Beat},     {"release", Kind::Release}, {"stop", Kind::Stop},
        {"middle", Kind::Middle}, {"uturn", Kind::UTurn},     {"hidden", Kind::Hidden},
    };
    for (const auto& [name, kind] : plain) {
        if (type != QLatin1String(name)) continue;
        if (!fieldsAre({})) return std::nullopt;
        message.kind = kind;
        return message;
    }
    if (type == QLatin1String("hello")) {
        const QString token = object.value(QStringLiteral("token")).toString();
        const QString identity = object.value(QStringLiteral("phone")).toString();
        const std::optional<std::string> name = readName(object.value(QStringLiteral("name")));
        if (!fieldsAre({"token", "phone", "name"}) || !isHex(token, 32) || !isIdentity(identity) || !name) {
            return std::nullopt;
        }
        message.kind = Kind::Hello;
        message.token = token.toStdString();
        message.phone = identity.toStdString();
        message.name = *name;
        return message;
    }
    if (type == QLatin1String("name")) {
        const std::optional<std::string> name = readName(object.value(QStringLiteral("name")));
        if (!fieldsAre({"name"}) || !name) return std::nullopt;
        message.kind = Kind::Name;
        message.name = *name;
        return message;
    }
    if (type == QLatin1String("claim")) {
        const QString car = object.value(QStringLiteral("car")).toString();
        if (!fieldsAre({"car"}) || !isCarKey(car)) return std::nullopt;
        message.kind = Kind::Claim;
        message.car = car.toStdString();
        return message;
    }
    const bool speed = type == QLatin1String("speed");
    if (speed || type == QLatin1String("lane")) {
        const std::optional<double> value =
            speed ? readValue(object.value(QStringLiteral("value")), 0, kSpeedTop)
                  : readValue(object.value(QStringLiteral("value")), -kLaneSide, kLaneSide);
        if (!fieldsAre({"value"}) || !value) return std::nullopt;
        message.kind = speed ? Kind::Speed : Kind::Lane;
        message.value = *value;
        return message;
    }
    return std::nullopt;
}

QString welcomeText(const std::string& label) {
    return compact({{"type", "welcome"}, {"label", QString::fromStdString(label)}});
}

QString beatText() { return compact({{"type", "beat"}}); }

QString carsText(const std::vector<CarOffer>& cars) {
    QJsonArray list;
    for (const CarOffer& car : cars) {
        list.append(QJsonObject{{"car", QString::fromStdString(car.car)},
                                {"name", QString::fromStdString(car.name)},
                                {"free", car.free},
                                {"yours", car.yours}});
    }
    return compact({{"type", "cars"}, {"cars", list}});
}

QString carText(const std::optional<CarState>& car) {
    if (!car) return compact({{"type", "car"}, {"car", QJsonValue::Null}});
    return compact({{"type", "car"},
                    {"car", QString::fromStdString(car->car)},
                    {"name", QString::fromStdString(car->name)},
                    {"state", QString::fromStdString(car->state)},
                    {"speed", car->speed},
                    {"lane", car->lane}});
}

QString refusedText(const char* reason) {
    return compact({{"type", "refused"}, {"reason", QString::fromLatin1(reason)}});
}

}  // namespace phone
