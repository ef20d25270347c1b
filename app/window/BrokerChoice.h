// Radio → Cars on a broker…: asks for the broker's address and password, and
// knows a broker's choice in the Radio menu by its address without the
// password, so a remembered choice never holds one.
#pragma once

#include <QString>
#include <optional>

class QWidget;

// "mqtt://", "mqtts://" or "mqtt[s]://user@…": the Radio menu's key of a broker.
bool isBrokerKey(const QString& key);
// The address without its password (the key that is shown and remembered);
// empty for an address that does not read.
QString brokerKey(const QString& url);
struct BrokerAnswer {
    QString url;       // as typed
    QString password;  // as typed, apart from the address; empty: none given
};
// What the person typed; none when they cancel. `remembered` fills the
// address field.
std::optional<BrokerAnswer> askForBroker(QWidget* parent, const QString& remembered);
