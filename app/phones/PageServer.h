// The HTTP side of sharing: one page, from the program's resources, to any
// browser that asks for it, and every well-formed WebSocket upgrade on "/ws"
// handed on, to be taken or refused. A request is read only as far as its
// head, at most 8 KiB, within 10 s; whatever else comes is answered with an
// error and the connection closed. Every connection counts as a stranger
// from the moment it is accepted.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "app/phones/WebSocketUpgrade.h"

class QTcpServer;
class QTcpSocket;

namespace phone {

class Strangers;

class PageServer : public QObject {
    Q_OBJECT

public:
    // `upgrade` takes the socket of a WebSocket request, its head read, and
    // owns it from then on; or it returns false and the request is refused.
    using Upgrade = std::function<bool(QTcpSocket*, const UpgradeRequest&)>;
    PageServer(QByteArray page, Strangers& strangers, Upgrade upgrade, QObject* parent = nullptr);

    // False, with the system's reason, when the address and port cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* reason);
    void close();
    quint16 port() const;

private:
    void accept();
    void readHead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& head);
    void hand(QTcpSocket* socket, const QByteArray& head);

    QByteArray page_;
    Strangers& strangers_;
    Upgrade upgrade_;
    QTcpServer* server_;
    QTimer acceptTurn_;
};

}  // namespace phone
