// The HTTP side of sharing: one page, from the program's resources, to any
// browser that asks for it, and every WebSocket upgrade on "/ws" handed on.
// A request is read only as far as its head, at most 8 KiB, within 10 s;
// whatever else comes is answered with an error and the connection closed.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace phone {

class PageServer : public QObject {
    Q_OBJECT

public:
    // `upgrade` takes the socket of a WebSocket request, its head unread.
    PageServer(QByteArray page, std::function<void(QTcpSocket*)> upgrade, QObject* parent = nullptr);

    // False, with the system's reason, when the address and port cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* reason);
    void close();
    quint16 port() const;

private:
    void accept();
    void readHead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& head);

    QByteArray page_;
    std::function<void(QTcpSocket*)> upgrade_;
    QTcpServer* server_;
    int open_ = 0;
};

}  // namespace phone
