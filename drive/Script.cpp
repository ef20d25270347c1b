#include "drive/Script.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QList>
#include <algorithm>
#include <cmath>
#include <limits>

#include "link/LinkText.h"

namespace drive {
namespace {

struct Range {
    double low, high;
    bool holds(double x) const { return x >= low && x <= high; }
};
// The window's sliders, and what the protocol carries (lanes in millimetres
// from the road centre).
constexpr Range kWindowSpeed{0, 1000}, kFullSpeed{0, 65535};
constexpr Range kWindowLane{-70, 70}, kFullLane{-1000, 1000};
constexpr Range kTimeMs{0, 86400000};  // a day

const QStringList kActions{QStringLiteral("speed"), QStringLiteral("lane"), QStringLiteral("middle"),
                           QStringLiteral("stop"),  QStringLiteral("uturn"), QStringLiteral("wait")};
const QStringList kRecorded{QStringLiteral("command"), QStringLiteral("frame"), QStringLiteral("notified"),
                            QStringLiteral("offset"), QStringLiteral("occasion")};

struct Refusal {
    QString reason;
};

QString shown(double x) { return QString::number(x, 'g', 17); }

// A value within `range`; one that only `fuller` holds says how to allow it.
double number(const QJsonObject& step, const QString& key, Range range, std::optional<Range> fuller = {}) {
    const QJsonValue value = step.value(key);
    if (!value.isDouble()) throw Refusal{QStringLiteral("\"%1\" is not a number").arg(key)};
    const double x = value.toDouble();
    if (!std::isfinite(x)) throw Refusal{QStringLiteral("\"%1\" is not a finite number").arg(key)};
    if (!range.holds(x)) {
        QString reason = QStringLiteral("\"%1\" %2 is out of range (%3 to %4")
                             .arg(key, shown(x), shown(range.low), shown(range.high));
        if (fuller && fuller->holds(x)) {
            reason += QStringLiteral("; --full-range allows %1 to %2").arg(shown(fuller->low), shown(fuller->high));
        }
        throw Refusal{reason + QLatin1Char(')')};
    }
    return x;
}

struct Limits {
    Range speed, lane;
    std::optional<Range> fullerSpeed, fullerLane;
};

Limits limitsFor(const ScriptRules& rules) {
    if (rules.fullRange) return Limits{kFullSpeed, kFullLane, std::nullopt, std::nullopt};
    return Limits{kWindowSpeed, kWindowLane, kFullSpeed, kFullLane};
}

void mustBeTrue(const QJsonObject& step, const QString& key) {
    if (step.value(key) != QJsonValue(true)) throw Refusal{QStringLiteral("\"%1\" must be true").arg(key)};
}

std::uint32_t identifierFrom(double x) {
    if (!std::isfinite(x) || x < 0 || x > std::numeric_limits<std::uint32_t>::max() || std::floor(x) != x) {
        throw Refusal{QStringLiteral("vehicle %1 is not an identifier (0 to 4294967295)").arg(QString::number(x, 'g', 17))};
    }
    return static_cast<std::uint32_t>(x);
}

Selector selectorFrom(const QJsonValue& value) {
    if (value.isDouble()) return identifierFrom(value.toDouble());
    if (!value.isString()) throw Refusal{QStringLiteral("\"vehicle\" must be a number or a text")};
    const QString text = value.toString().trimmed();
    if (text == QLatin1String("all")) return AllVehicles{};
    if (text.startsWith(QLatin1String("name:"))) {
        if (text.size() == 5) throw Refusal{QStringLiteral("vehicle \"name:\" names nobody")};
        return NameSelector{text.mid(5).toStdString()};
    }
    bool ok = false;
    if (text.startsWith(QLatin1String("model:"))) {
        const uint model = text.mid(6).toUInt(&ok, 10);
        if (!ok || model > 255) throw Refusal{QStringLiteral("vehicle \"%1\": a model is 0 to 255").arg(text)};
        return ModelSelector{static_cast<std::uint8_t>(model)};
    }
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qulonglong id = hex ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok, 10);
    if (!ok || text.size() > 20 || id > std::numeric_limits<std::uint32_t>::max()) {
        throw Refusal{QStringLiteral("vehicle \"%1\" is not an identifier, model:N, name:NAME or all").arg(text)};
    }
    return static_cast<std::uint32_t>(id);
}

// One line's step, or none for a line a recording keeps for its reader.
std::optional<Step> stepFrom(const QJsonObject& object, const Limits& limits) {
    for (const QString& key : object.keys()) {
        if (!kActions.contains(key) && !kRecorded.contains(key) && key != QLatin1String("vehicle") &&
            key != QLatin1String("at")) {
            throw Refusal{QStringLiteral("unknown key \"%1\"").arg(key)};
        }
    }
    Step step;
    if (object.contains(QLatin1String("at"))) step.atMs = number(object, QStringLiteral("at"), kTimeMs);
    if (object.contains(QLatin1String("vehicle"))) step.vehicle = selectorFrom(object.value(QLatin1String("vehicle")));

    QStringList actions;
    for (const QString& key : kActions) {
        if (object.contains(key)) actions << key;
    }
    // "speed" beside "lane" is the lane change's speed, not an action.
    if (actions.contains(QLatin1String("lane"))) actions.removeAll(QStringLiteral("speed"));
    if (actions.isEmpty()) {
        const bool recorded = std::any_of(kRecorded.begin(), kRecorded.end(),
                                          [&](const QString& key) { return object.contains(key); });
        if (recorded) return std::nullopt;
        throw Refusal{QStringLiteral("no action (speed, lane, middle, stop, uturn or wait)")};
    }
    if (actions.size() > 1) throw Refusal{QStringLiteral("more than one action: %1").arg(actions.join(QStringLiteral(", ")))};

    const QString& action = actions.first();
    if (action == QLatin1String("speed")) {
        step.action = Action::Speed;
        step.value = number(object, action, limits.speed, limits.fullerSpeed);
    } else if (action == QLatin1String("lane")) {
        step.action = Action::Lane;
        step.value = number(object, action, limits.lane, limits.fullerLane);
        if (object.contains(QLatin1String("speed"))) {
            step.laneSpeed = number(object, QStringLiteral("speed"), limits.speed, limits.fullerSpeed);
        }
    } else if (action == QLatin1String("wait")) {
        step.action = Action::Wait;
        step.value = number(object, action, kTimeMs);
        if (step.vehicle) throw Refusal{QStringLiteral("\"wait\" takes no vehicle")};
        return step;
    } else {
        mustBeTrue(object, action);
        step.action = action == QLatin1String("middle") ? Action::Middle
                      : action == QLatin1String("stop") ? Action::Stop
                                                        : Action::UTurn;
    }
    if (!step.vehicle) throw Refusal{QStringLiteral("\"%1\" needs a \"vehicle\"").arg(action)};
    return step;
}

}  // namespace

std::string Script::placeOf(int line) const { return source.toStdString() + ":" + std::to_string(line); }

std::string selectorText(const Selector& selector) {
    if (const auto* id = std::get_if<std::uint32_t>(&selector)) return link_text::identifierText(*id);
    if (const auto* model = std::get_if<ModelSelector>(&selector)) return "model:" + std::to_string(model->model);
    if (const auto* named = std::get_if<NameSelector>(&selector)) return "name:" + named->name;
    return "all";
}

Script parseScript(const QByteArray& text, const ScriptRules& rules) {
    Script script;
    script.source = rules.source;
    const Limits limits = limitsFor(rules);
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        try {
            if (parseError.error != QJsonParseError::NoError) {
                throw Refusal{QStringLiteral("not JSON: %1").arg(parseError.errorString())};
            }
            if (!document.isObject()) throw Refusal{QStringLiteral("a step is a JSON object")};
            if (std::optional<Step> step = stepFrom(document.object(), limits)) {
                step->line = lineNumber;
                script.steps.push_back(*step);
            }
        } catch (const Refusal& refusal) {
            script.steps.clear();
            script.error = ScriptError{lineNumber, refusal.reason};
            return script;
        }
    }
    return script;
}

std::vector<std::uint32_t> namedIdentifiers(const Script& script) {
    std::vector<std::uint32_t> identifiers;
    for (const Step& step : script.steps) {
        if (!step.vehicle) continue;
        if (const auto* id = std::get_if<std::uint32_t>(&*step.vehicle)) {
            if (std::find(identifiers.begin(), identifiers.end(), *id) == identifiers.end()) identifiers.push_back(*id);
        }
    }
    return identifiers;
}

}  // namespace drive
