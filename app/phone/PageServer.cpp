#include "app/phone/PageServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace phone {
namespace {

constexpr qint64 kLongestHead = 8 * 1024;
constexpr int kHeadWithinMs = 10000;
// Browsers open a few connections each; this many at once is a flood.
constexpr int kMostOpen = 64;

QByteArray response(const char* status, const QByteArray& type, const QByteArray& body, bool withBody) {
    QByteArray text = QByteArray("HTTP/1.1 ") + status + "\r\n";
    text += "Content-Type: " + type + "\r\n";
    text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    text += "Cache-Control: no-store\r\n";
    text += "X-Content-Type-Options: nosniff\r\n";
    text += "Referrer-Policy: no-referrer\r\n";
    // The page runs its own script and talks to this host, nothing else.
    text += "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
            "style-src 'unsafe-inline'; connect-src 'self'; img-src data:; frame-ancestors 'none'\r\n";
    text += "Connection: close\r\n\r\n";
    if (withBody) text += body;
    return text;
}

// The value of a header in a request head, lower-cased; empty if absent.
QByteArray headerValue(const QList<QByteArray>& lines, const QByteArray& name) {
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).trimmed().toLower() == name) {
            return lines[i].mid(colon + 1).trimmed().toLower();
        }
    }
    return {};
}

}  // namespace

PageServer::PageServer(QByteArray page, std::function<void(QTcpSocket*)> upgrade, QObject* parent)
    : QObject(parent), page_(std::move(page)), upgrade_(std::move(upgrade)), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &PageServer::accept);
}

bool PageServer::listen(const QHostAddress& address, quint16 port, QString* reason) {
    if (server_->listen(address, port)) return true;
    if (reason) *reason = server_->errorString();
    return false;
}

void PageServer::close() { server_->close(); }

quint16 PageServer::port() const { return server_->serverPort(); }

void PageServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (open_ >= kMostOpen) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        socket->setParent(this);
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readHead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(kHeadWithinMs);
    }
}

void PageServer::readHead(QTcpSocket* socket) {
    // Peeked, not read: a WebSocket's handshake reads the head again.
    const QByteArray seen = socket->peek(kLongestHead);
    const qsizetype end = seen.indexOf("\r\n\r\n");
    if (end < 0) {
        if (seen.size() >= kLongestHead) {
            socket->write(response("431 Request Header Fields Too Large", "text/plain", {}, false));
            socket->disconnectFromHost();
        }
        return;
    }
    answer(socket, seen.left(end));
}

void PageServer::answer(QTcpSocket* socket, const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
    const QByteArray method = request.value(0);
    const QByteArray path = request.value(1);
    if (request.size() == 3 && method == "GET" && path == "/ws" &&
        headerValue(lines, "upgrade") == "websocket") {
        // The WebSocket server reads the head and owns the connection from here.
        disconnect(socket, nullptr, this, nullptr);
        disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        for (QTimer* deadline : socket->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
            deadline->stop();
            deadline->deleteLater();
        }
        socket->setParent(nullptr);
        --open_;
        upgrade_(socket);
        return;
    }
    const bool head_only = method == "HEAD";
    const bool known = request.size() == 3 && (method == "GET" || head_only);
    socket->readAll();  // the head is answered; nothing else is read
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    if (!known) {
        socket->write(response("405 Method Not Allowed", "text/plain; charset=utf-8", "Not allowed\n", true));
    } else if (path == "/" || path == "/index.html") {
        socket->write(response("200 OK", "text/html; charset=utf-8", page_, !head_only));
    } else {
        socket->write(response("404 Not Found", "text/plain; charset=utf-8", "Not found\n", !head_only));
    }
    socket->disconnectFromHost();
}

}  // namespace phone
