// Cars on a broker: the radio over MQTT whose cars are those relays on other
// hosts offer (zelto-drive relay), for the window and the terminal program.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "radio/RadioChoice.h"

// Reads `url` (mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/NAME]; NAME keeps to
// that one relay, none takes every relay's cars) and logs in to the broker.
// Calls `done` exactly once, from a later turn of Qt's event loop, within
// about 5 s, unless `context` is gone by then: with the radio once the
// broker's session stands, or with no radio and a plain reason to show ("no
// broker answers at mqtt://host:1883", "the broker refused the user name or
// password", a malformed address). The reason and the radio's description
// never hold the user or the password. A user without a password takes it
// from the environment variable ZELTO_BROKER_PASSWORD. With TLS (mqtts),
// `caFile` names the CA certificates to trust; empty, the system's. A
// `password` given apart (as typed in a dialog, any characters) goes to the
// broker exactly as it is, in place of the address's.
// Once made, the radio reconnects by itself with back-off when the broker
// goes away; the links it carried end then as lost links.
void makeBrokerRadio(QObject* context, const QString& url, std::function<void(std::optional<Radio> radio, QString problem)> done,
                     const QString& caFile = QString(), const QString& password = QString());

// The address with its password cut out (what may be shown and remembered);
// empty for text that is no broker's address.
QString brokerUrlWithoutPassword(const QString& url);

// Empty when `url` reads as a broker's address, else why not (for a command
// line, before anything starts).
QString brokerUrlProblem(const QString& url);
