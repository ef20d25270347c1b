// A Bluetooth adapter as the system lists it.
#pragma once

#include <QString>

struct AdapterEntry {
    QString name;     // what a person set (the alias), or the system's name
    QString address;  // "00:1A:7D:DA:71:13"
    bool powered = false;
    QString systemName = {};  // "hci0": what the kernel and bluetoothctl call it
};
