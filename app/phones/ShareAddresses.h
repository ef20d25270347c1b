// Where phones find the page: the addresses of this machine that a phone's
// browser can open, and the Origin each gives the page.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

namespace phone {

// The machine's first non-loopback IPv4 address, else the loopback.
QHostAddress defaultShareAddress();

// Whether listening there is listening on every interface (0.0.0.0, ::).
bool isEveryInterface(const QHostAddress& address);

// The addresses a listener on `address` is reached at: itself, or for every
// interface each address of every interface that is up (IPv4 ones only for
// 0.0.0.0), the loopback ones last. IPv6 link-local addresses are left out:
// a browser's address bar takes no zone.
QList<QHostAddress> reachableAddresses(const QHostAddress& address);

// "http://192.168.1.20:8765", "http://[fd00::2]:8765": the page's Origin there.
QString originOf(const QHostAddress& address, quint16 port);

}  // namespace phone
