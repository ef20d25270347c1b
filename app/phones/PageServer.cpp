#include "app/phones/PageServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "app/phones/HttpHead.h"
#include "app/phones/Strangers.h"

namespace phone {
namespace {

constexpr qint64 kLongestHead = 8 * 1024;
constexpr int kHeadWithinMs = 10000;
// Connections taken from the kernel in one turn of the loop: Qt takes no
// more until they are, so a flood of them never holds the loop.
constexpr int kAcceptsPerTurn = 16;
// Connections the kernel holds meanwhile: deep enough that peers reopening
// what was cut do not crowd a phone's out.
constexpr int kBacklog = 512;
// After the system refused a connection (no file descriptors left, say).
constexpr int kAcceptAgainMs = 100;

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

}  // namespace

PageServer::PageServer(QByteArray page, Strangers& strangers, Upgrade upgrade, QObject* parent)
    : QObject(parent),
      page_(std::move(page)),
      strangers_(strangers),
      upgrade_(std::move(upgrade)),
      server_(new QTcpServer(this)) {
    server_->setMaxPendingConnections(kAcceptsPerTurn);
    server_->setListenBacklogSize(kBacklog);
    acceptTurn_.setSingleShot(true);
    acceptTurn_.setInterval(0);
    connect(&acceptTurn_, &QTimer::timeout, this, &PageServer::accept);
    connect(server_, &QTcpServer::newConnection, &acceptTurn_, [this] {
        if (!acceptTurn_.isActive()) acceptTurn_.start();
    });
    // Qt stops listening for good after such an error; sharing must not.
    connect(server_, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(kAcceptAgainMs, server_, [this] { server_->resumeAccepting(); }); });
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
        socket->setParent(this);
        // Qt holds no more of a request than its longest head.
        socket->setReadBufferSize(kLongestHead);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readHead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(kHeadWithinMs);
        strangers_.admit(socket);
        // While it waited for this turn, Qt may have read its head already.
        if (socket->bytesAvailable() > 0) readHead(socket);
    }
}

void PageServer::readHead(QTcpSocket* socket) {
    // Peeked: only the head is taken, and a WebSocket's frames may follow it.
    const QByteArray seen = socket->peek(kLongestHead);
    const qsizetype end = seen.indexOf("\r\n\r\n");
    if (end < 0) {
        if (seen.size() >= kLongestHead) {
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            socket->write(response("431 Request Header Fields Too Large", "text/plain", {}, false));
            socket->disconnectFromHost();
        }
        return;
    }
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    socket->read(end + 4);
    answer(socket, seen.left(end));
}

void PageServer::answer(QTcpSocket* socket, const QByteArray& head) {
    const HttpHead request = readHttpHead(head);
    if (request.path == "/ws" && request.headerLists("upgrade", "websocket")) {
        hand(socket, head);
        return;
    }
    const bool head_only = request.method == "HEAD";
    const bool known = request.wellFormed() && (request.method == "GET" || head_only);
    if (!known) {
        socket->write(response("405 Method Not Allowed", "text/plain; charset=utf-8", "Not allowed\n", true));
    } else if (request.path == "/" || request.path == "/index.html") {
        socket->write(response("200 OK", "text/html; charset=utf-8", page_, !head_only));
    } else {
        socket->write(response("404 Not Found", "text/plain; charset=utf-8", "Not found\n", !head_only));
    }
    // The deadline still runs: a peer that reads nothing is cut off with it.
    socket->disconnectFromHost();
}

void PageServer::hand(QTcpSocket* socket, const QByteArray& head) {
    const std::optional<UpgradeRequest> upgrade = readUpgradeRequest(readHttpHead(head));
    if (!upgrade) {
        socket->write(response("400 Bad Request", "text/plain; charset=utf-8", "Bad request\n", true));
        socket->disconnectFromHost();
        return;
    }
    QList<QTimer*> deadlines = socket->findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    for (QTimer* deadline : deadlines) deadline->stop();
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (!upgrade_(socket, *upgrade)) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        for (QTimer* deadline : deadlines) deadline->start();
        socket->write(response("403 Forbidden", "text/plain; charset=utf-8", "Forbidden\n", true));
        socket->disconnectFromHost();
        return;
    }
    // Its new owner has its own deadline for the hello.
    qDeleteAll(deadlines);
}

}  // namespace phone
