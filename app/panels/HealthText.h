// How a link's health reads for a person (a panel's line, the saved log).
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "link/LinkHealth.h"

class QLabel;
class Vehicle;

// A name as the radio told it, fit for a line: control characters, which
// would break one, become replacement characters.
QString printableName(const std::string& text);

// "Vexa 1 · -58 dBm · heard 0.4 s ago · 12 notifications/s · 340 sent,
// 12 replaced, 0 failed"; a silent car starts with "Silent for 4 s".
// Compact, for a row among many: "Vexa 1 · -58 dBm · 0.4 s ago · 12/s · ...".
QString healthText(const LinkHealth& health, bool compact = false);

// One line of key:value pairs for the saved log and other readers:
// "name:\"Vexa 1\" adapter:hci0 rssi:-58 heard:0.4s notifications/s:12 sent:340 replaced:12 failed:0".
QString healthRecord(const LinkHealth& health);

// Every car of the list, one line each: "id:42 model:7 " + its record.
QString carsRecord(const std::vector<std::shared_ptr<Vehicle>>& cars);

// What the figures of a health line are, for its tooltip.
QString healthFieldsTip();

// Sets the line's text; a silent car is told plainly, in bold dark red.
// Nothing is repainted when nothing changed.
void showHealth(QLabel* label, const QString& text, bool silent);
