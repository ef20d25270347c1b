// Sharing the cars with phones: the page over HTTP, and one WebSocket per
// phone that must show one of the page's own Origins and then the sharing's
// token within 2 s. The host lets phones claim cars and drive them through
// the Garage, and stops a car whose phone falls quiet, hides its page or goes
// away. Until a socket shows the token it is a stranger, held to the
// strangers' budget and to its single hello.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/phones/Garage.h"
#include "app/phones/PhoneLimits.h"
#include "app/phones/PhoneRules.h"
#include "app/phones/ShareAddresses.h"

class QTcpSocket;
class QTimer;

namespace phone {

class PageServer;
class PhoneSocket;
class Strangers;
struct Message;
struct UpgradeRequest;

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
    // false, with the system's reason, when the port cannot be had. On
    // 0.0.0.0 or :: it shares on every interface, at each of the machine's
    // addresses.
    bool share(const QHostAddress& address, quint16 port, QString* reason = nullptr);
    // Every phone is let go and its car stopped.
    void stopSharing();
    bool sharing() const { return !token_.isEmpty(); }
    // "http://ADDRESS:PORT/#k=TOKEN", one for each address the page is
    // shared at: the token in the fragment never travels in a request line.
    QStringList urls() const;
    // The first of them.
    QString url() const;
    // "http://ADDRESS:PORT" for each address: the only Origins a phone's
    // socket may show. origin() is the first.
    QStringList origins() const { return origins_; }
    QString origin() const { return origins_.value(0); }

    struct PhoneView {
        QString phone;
        QString label;
        QString carName;  // empty: none held
        bool away = false;  // gone for now; its car is kept for it
    };
    std::vector<PhoneView> phones() const;
    // The person takes the car away from the phone, there or away; it is stopped.
    void release(const QString& phone);

    // Applies what time has made due and tells the phones what changed.
    // Runs every 100 ms while sharing; tests turn the timer off and call it.
    void tick();
    void setTicking(bool on);
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // For the next sockets and connections.
    void setLimits(const PhoneLimits& limits);

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
    bool upgrade(QTcpSocket* connection, const UpgradeRequest& request);
    void receive(PhoneSocket* socket, const QString& text);
    void authenticate(PhoneSocket* socket, Session& session, const QString& text);
    void act(PhoneSocket* socket, const std::string& phone, const Message& message);
    void closed(PhoneSocket* socket);
    void drop(PhoneSocket* socket);
    void stopIfMoving(const std::string& car);
    void push();
    Millis now() const { return clock_(); }

    Garage& garage_;
    Clock clock_;
    PhoneRules rules_;
    PhoneLimits limits_;
    Strangers* strangers_;
    PageServer* pages_ = nullptr;
    QTimer* ticker_ = nullptr;
    QString token_;
    QStringList origins_;
    int joins_ = 0;
    std::map<PhoneSocket*, Session> sessions_;
};

// The token of a new sharing: 128 random bits from the system's source, in hex.
QString newToken();

}  // namespace phone
