// Phones on real WebSockets over the loopback, against the real window's
// panels on the simulated road: a phone's socket with what it heard, and a
// window sharing on 127.0.0.1 with the host's clock in the test's hands.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkRequest>
#include <QTest>
#include <QUrl>
#include <QWebSocket>
#include <functional>
#include <memory>

#include "PanelFixture.h"
#include "app/phones/PhoneSharing.h"
#include "app/phones/PhoneHost.h"

inline constexpr std::uint32_t kVexa = 61;
inline constexpr std::uint32_t kDrummet = 62;
inline constexpr int kPatienceMs = 10000;

// A phone's socket, with what it heard.
struct Phone {
    QWebSocket socket;
    QStringList heard;
    bool closed = false;

    Phone() {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) { heard << text; });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
    }
    void say(const QString& json) { socket.sendTextMessage(json); }
    bool heardText(const QString& part) const {
        return std::any_of(heard.begin(), heard.end(), [&part](const QString& text) { return text.contains(part); });
    }
    // The host told the phone it holds the car.
    bool heardCarIsMine(std::uint32_t car) const {
        return std::any_of(heard.begin(), heard.end(), [car](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            return message.value("type") == "car" && message.value("car") == QString::number(car);
        });
    }
};

inline QString hello(const QString& token, const QString& identity, const QString& name = QString()) {
    QJsonObject object{{"type", "hello"}, {"token", token}, {"phone", identity}};
    if (!name.isEmpty()) object.insert(QStringLiteral("name"), name);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

class PhoneFixture : public PanelFixture {
public:
    void SetUp() override {
        addVehicle(9, kVexa);
        addVehicle(18, kDrummet);
        openWindow();
        connect();
        list();
        settle();
        host().setTicking(false);
        host().setClock([this] { return now_; });
        ASSERT_TRUE(host().share(QHostAddress::LocalHost, 0));
        token_ = host().url().section(QStringLiteral("#k="), 1);
        takeStdout();
        clearWrites();
    }

    phone::PhoneHost& host() const { return window_->phoneSharing().host(); }

    std::unique_ptr<Phone> open(const QString& origin) {
        auto phone = std::make_unique<Phone>();
        // Always the loopback, whatever addresses the host shares on.
        QNetworkRequest request(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(QUrl(host().origin()).port())));
        request.setRawHeader("Origin", origin.toUtf8());
        phone->socket.open(request);
        const Phone* raw = phone.get();
        EXPECT_TRUE(QTest::qWaitFor([raw] { return raw->socket.state() == QAbstractSocket::ConnectedState || raw->closed; },
                                    kPatienceMs));
        return phone;
    }

    // A phone let in, holding the car if one is named.
    std::unique_ptr<Phone> join(const QString& identity, const QString& name, std::uint32_t car = 0) {
        std::unique_ptr<Phone> phone = open(host().origin());
        phone->say(hello(token_, identity, name));
        EXPECT_TRUE(waitUntil([&phone] { return phone->heardText(QStringLiteral("\"welcome\"")); }));
        if (car != 0) {
            phone->say(QStringLiteral(R"({"type":"claim","car":"%1"})").arg(car));
            EXPECT_TRUE(waitUntil([&phone, car] { return phone->heardCarIsMine(car); }));
        }
        return phone;
    }

    bool waitUntil(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kPatienceMs); }

    // Says a move and waits until the panel shows it, then lets it reach the car.
    void move(Phone& phone, const QString& json, const std::function<bool()>& shown) {
        phone.say(json);
        EXPECT_TRUE(waitUntil(shown)) << json.toStdString();
        settle(std::chrono::milliseconds(100));
    }

    QString phoneLabel(const char* name) const { return window_->findChild<QLabel*>(name)->text(); }

    phone::Millis now_{100000};
    QString token_;
};
