// What the relay tests share: the frames of a drive, the programs' command
// lines, and the frames read back from their printouts.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "tests/mqtt/Broker.h"

namespace mqtt_test {

inline const QString kGo = QStringLiteral("06 24 90 01 A8 61 00");    // speed 400
inline const QString kStop = QStringLiteral("06 24 00 00 A8 61 00");  // speed 0
inline const QByteArray kHold = "{\"vehicle\": \"all\", \"speed\": 400}\n{\"wait\": 60000}\n";
inline const QString kCar = QStringLiteral("00:01:12:34:56:78");
inline const QString kWrite = QStringLiteral("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");

// Relay r1 on the simulated cars.
inline QStringList relayArguments(const QString& broker, const QStringList& more = {}) {
    return QStringList{QStringLiteral("relay"), QStringLiteral("--broker"), broker, QStringLiteral("--name"),
                       QStringLiteral("r1"), QStringLiteral("--radio"), QStringLiteral("sim")} +
           more;
}

// A driver of relay r1's cars, anonymous or logged in as a user of the sample ACL.
inline QStringList driverArguments(const Broker& broker, QStringList more = {QStringLiteral("run"), QStringLiteral("-")},
                                   const QString& user = QString()) {
    return QStringList{QStringLiteral("--radio"), (user.isEmpty() ? broker.url() : broker.url(user)) + QStringLiteral("/r1")} +
           more;
}

// The hex of every frame line ("+0.214 CAR [command] 06 24 ..."): its
// trailing two-digit fields. Sorted, so that cars may interleave.
inline QStringList framesOf(const QStringList& lines) {
    QStringList frames;
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('('))) continue;
        QStringList fields = line.split(QLatin1Char(' '));
        QStringList hex;
        while (!fields.isEmpty() &&
               fields.last().contains(QRegularExpression(QStringLiteral("^[0-9A-F]{2}$")))) {
            hex.prepend(fields.takeLast());
        }
        if (!hex.isEmpty()) frames << hex.join(QLatin1Char(' '));
    }
    frames.removeAll(QStringLiteral("03 90 01 01"));  // the link's handshake
    frames.removeAll(QStringLiteral("01 18"));
    frames.sort();
    return frames;
}

}  // namespace mqtt_test
