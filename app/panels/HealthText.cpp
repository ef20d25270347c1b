#include "app/panels/HealthText.h"

#include <QLabel>
#include <QStringList>

#include "link/Vehicle.h"

namespace {

QString seconds(std::chrono::milliseconds time) {
    return QString::number(static_cast<double>(time.count()) / 1000.0, 'f', 1);
}

QString rate(double perSecond) { return QString::number(perSecond, 'g', 4); }

}  // namespace

QString printableName(const std::string& text) {
    QString name = QString::fromStdString(text);
    for (QChar& c : name) {
        if (c.category() == QChar::Other_Control) c = QChar::ReplacementCharacter;
    }
    return name;
}

QString healthText(const LinkHealth& health, bool compact) {
    QStringList parts;
    if (health.silent()) {
        parts << QStringLiteral("Silent for %1 s").arg(health.sinceHeard->count() / 1000);
    }
    if (!health.name.empty()) parts << printableName(health.name);
    if (!health.adapter.empty()) parts << QString::fromStdString(health.adapter);
    if (health.rssi) parts << QStringLiteral("%1 dBm").arg(*health.rssi);
    if (health.sinceHeard && !health.silent()) {
        parts << (compact ? QStringLiteral("%1 s ago") : QStringLiteral("heard %1 s ago")).arg(seconds(*health.sinceHeard));
    }
    parts << (compact ? QStringLiteral("%1/s") : QStringLiteral("%1 notifications/s")).arg(rate(health.notificationsPerSecond));
    parts << QStringLiteral("%1 sent, %2 replaced, %3 failed")
                 .arg(health.commandsSent)
                 .arg(health.commandsSuperseded)
                 .arg(health.writesFailed);
    return parts.join(QStringLiteral(" \u00b7 "));
}

QString healthRecord(const LinkHealth& health) {
    QStringList parts;
    QString name = printableName(health.name);
    name.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    parts << QStringLiteral("name:\"%1\"").arg(name);
    if (!health.adapter.empty()) parts << QStringLiteral("adapter:") + QString::fromStdString(health.adapter);
    if (health.rssi) parts << QStringLiteral("rssi:%1").arg(*health.rssi);
    if (health.sinceHeard) parts << QStringLiteral("heard:%1s").arg(seconds(*health.sinceHeard));
    if (health.silent()) parts << QStringLiteral("silent");
    parts << QStringLiteral("notifications/s:") + rate(health.notificationsPerSecond)
          << QStringLiteral("sent:%1").arg(health.commandsSent)
          << QStringLiteral("replaced:%1").arg(health.commandsSuperseded)
          << QStringLiteral("failed:%1").arg(health.writesFailed);
    return parts.join(QLatin1Char(' '));
}

QString carsRecord(const std::vector<std::shared_ptr<Vehicle>>& cars) {
    QString lines;
    for (const std::shared_ptr<Vehicle>& car : cars) {
        if (!car) continue;
        lines += QStringLiteral("id:%1 model:%2 ").arg(car->identifier()).arg(static_cast<unsigned>(car->modelIdentifier())) +
                 healthRecord(car->health()) + QLatin1Char('\n');
    }
    return lines.isEmpty() ? QStringLiteral("none\n") : lines;
}

QString healthFieldsTip() {
    return QStringLiteral(
        "Name, adapter, signal of the last advertisement, time since last heard, notifications per second, "
        "and commands sent, replaced by a newer one before they left, and failed");
}

void showHealth(QLabel* label, const QString& text, bool silent) {
    if (!label) return;
    if (label->text() != text) label->setText(text);
    const QString style = silent ? QStringLiteral("color: #a40000; font-weight: bold;") : QString();
    if (label->styleSheet() != style) label->setStyleSheet(style);
}
