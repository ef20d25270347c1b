// Sharing the cars with phones: the page over HTTP, and one WebSocket per
// phone that must show the page's own Origin and the sharing's token within
// 2 s. The host lets phones claim cars and drive them through the Garage, and
// stops a car whose phone falls quiet, hides its page or goes away.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/phone/Garage.h"
#include "app/phone/PhoneRules.h"

class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;

namespace phone {

class PageServer;
struct Message;

// A phone must authenticate this soon after its socket opens.
constexpr Millis kAuthWithin{2000};

class PhoneHost : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<Millis()>;
    // Without a clock, the host reads a steady one.
    explicit PhoneHost(Garage& garage, QObject* parent = nullptr, Clock clock = {});
    ~PhoneHost() override;

    // Shares on that address and port (0: any free one) with a new token;
    // false, with the system's reason, when the port cannot be had.
    bool share(const QHostAddress& address, quint16 port, QString* reason = nullptr);
    // Every phone is let go and its car stopped.
    void stopSharing();
    bool sharing() const { return !token_.isEmpty(); }
    // "http://ADDRESS:PORT/#k=TOKEN": the token in the fragment never
    // travels in a request line.
    QString url() const;
    // "http://ADDRESS:PORT", the only Origin a phone's socket may show.
    QString origin() const { return origin_; }

    struct PhoneView {
        QString phone;
        QString label;
        QString carName;  // empty: none held
    };
    std::vector<PhoneView> phones() const;
    // The person takes the car away from the phone; it is stopped.
    void release(const QString& phone);

    // Applies what time has made due and tells the phones what changed.
    // Runs every 100 ms while sharing; tests turn the timer off and call it.
    void tick();
    void setTicking(bool on);
    void setClock(Clock clock) { clock_ = std::move(clock); }

signals:
    // A phone came, went, or took or left a car.
    void phonesChanged();

private:
    struct Session {
        std::string phone;  // empty until authenticated
        Millis opened{0};
        QString carsSent;
        QString carSent;
    };
    void upgrade(QTcpSocket* socket);
    void open();
    void receive(QWebSocket* socket, const QString& text);
    void authenticate(QWebSocket* socket, Session& session, const QString& text);
    void act(QWebSocket* socket, const std::string& phone, const Message& message);
    void closed(QWebSocket* socket);
    void drop(QWebSocket* socket);
    void stopIfMoving(const std::string& car);
    void push();
    Millis now() const { return clock_(); }

    Garage& garage_;
    Clock clock_;
    PhoneRules rules_;
    PageServer* pages_ = nullptr;
    QWebSocketServer* sockets_ = nullptr;
    QTimer* ticker_ = nullptr;
    QString token_;
    QString origin_;
    QString address_;
    int joins_ = 0;
    std::map<QWebSocket*, Session> sessions_;
};

// The token of a new sharing: 128 random bits from the system's source, in hex.
QString newToken();
// The machine's first non-loopback IPv4 address, else the loopback.
QHostAddress defaultShareAddress();

}  // namespace phone
