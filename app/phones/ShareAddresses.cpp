#include "app/phones/ShareAddresses.h"

#include <QNetworkInterface>

namespace phone {

QHostAddress defaultShareAddress() {
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) return address;
        }
    }
    return QHostAddress(QHostAddress::LocalHost);
}

bool isEveryInterface(const QHostAddress& address) {
    return address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6) ||
           address == QHostAddress(QHostAddress::Any);
}

QList<QHostAddress> reachableAddresses(const QHostAddress& address) {
    if (!isEveryInterface(address)) return {address};
    const bool ipv4Only = address == QHostAddress(QHostAddress::AnyIPv4);
    QList<QHostAddress> outside;
    QList<QHostAddress> loopback;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)) continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            QHostAddress ip = entry.ip();
            const bool v4 = ip.protocol() == QAbstractSocket::IPv4Protocol;
            if ((ipv4Only && !v4) || (!v4 && ip.protocol() != QAbstractSocket::IPv6Protocol)) continue;
            if (!v4 && ip.isLinkLocal()) continue;
            ip.setScopeId(QString());
            QList<QHostAddress>& into = ip.isLoopback() ? loopback : outside;
            if (!into.contains(ip)) into.append(ip);
        }
    }
    return outside + loopback;
}

QString originOf(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("http://%1:%2").arg(host).arg(port);
}

}  // namespace phone
