#include "app/phones/PhoneHost.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "app/phones/PageServer.h"
#include "app/phones/PhoneMessages.h"
#include "app/phones/PhoneSocket.h"
#include "app/phones/Strangers.h"
#include "app/phones/WebSocketUpgrade.h"

namespace phone {
namespace {

constexpr int kTickMs = 100;

QByteArray pageFromResources() {
    QFile page(QStringLiteral(":/phone/drive.html"));
    return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
}

// Compares every character, so the time taken tells nothing of the token.
bool sameToken(const QString& given, const QString& token) {
    if (given.size() != token.size()) return false;
    char16_t difference = 0;
    for (qsizetype i = 0; i < token.size(); ++i) difference |= given[i].unicode() ^ token[i].unicode();
    return difference == 0;
}

Millis steadyNow() {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace

QString newToken() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString token;
    for (const quint32 word : words) token += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return token;
}

PhoneHost::PhoneHost(Garage& garage, QObject* parent, Clock clock)
    : QObject(parent),
      garage_(garage),
      clock_(clock ? std::move(clock) : Clock(steadyNow)),
      strangers_(new Strangers(limits_.strangersPerAddress, limits_.strangers, this)) {
    ticker_ = new QTimer(this);
    connect(ticker_, &QTimer::timeout, this, &PhoneHost::tick);
}

PhoneHost::~PhoneHost() {
    // Sockets are closed without telling anyone: the garage may be gone already.
    for (auto& [socket, session] : sessions_) {
        socket->disconnect(this);
        delete socket;
    }
}

void PhoneHost::setLimits(const PhoneLimits& limits) {
    limits_ = limits;
    strangers_->setBounds(limits_.strangersPerAddress, limits_.strangers);
}

bool PhoneHost::share(const QHostAddress& address, quint16 port, QString* reason) {
    stopSharing();
    pages_ = new PageServer(
        pageFromResources(), *strangers_,
        [this](QTcpSocket* connection, const UpgradeRequest& request) { return upgrade(connection, request); }, this);
    // Every interface, for ::, takes IPv4 peers too.
    const QHostAddress listening = address == QHostAddress(QHostAddress::AnyIPv6) ? QHostAddress(QHostAddress::Any) : address;
    if (!pages_->listen(listening, port, reason)) {
        delete pages_;
        pages_ = nullptr;
        return false;
    }
    token_ = newToken();
    origins_.clear();
    for (const QHostAddress& reached : reachableAddresses(address)) origins_ << originOf(reached, pages_->port());
    joins_ = 0;
    ticker_->start(kTickMs);
    emit phonesChanged();
    return true;
}

void PhoneHost::stopSharing() {
    if (!sharing() && !pages_) return;
    for (const std::string& phone : rules_.phonesPresent()) release(QString::fromStdString(phone));
    for (const std::string& phone : rules_.phonesAway()) release(QString::fromStdString(phone));
    const auto sessions = std::exchange(sessions_, {});
    for (const auto& [socket, session] : sessions) drop(socket);
    rules_ = PhoneRules();
    garage_.showPhones({});
    delete pages_;
    pages_ = nullptr;
    token_.clear();
    origins_.clear();
    ticker_->stop();
    emit phonesChanged();
}

QStringList PhoneHost::urls() const {
    QStringList urls;
    if (!sharing()) return urls;
    for (const QString& origin : origins_) urls << origin + QStringLiteral("/#k=") + token_;
    return urls;
}

QString PhoneHost::url() const { return urls().value(0); }

void PhoneHost::setTicking(bool on) {
    if (!on) {
        ticker_->stop();
    } else if (sharing()) {
        ticker_->start(kTickMs);
    }
}

bool PhoneHost::upgrade(QTcpSocket* connection, const UpgradeRequest& request) {
    // A page from anywhere else may not drive: its socket is never opened.
    if (!sharing() || !origins_.contains(request.origin)) return false;
    auto* socket = new PhoneSocket(connection, request.key, limits_, clock_, this);
    sessions_[socket].opened = now();
    connect(socket, &PhoneSocket::received, this, [this, socket](const QString& text) { receive(socket, text); });
    connect(socket, &PhoneSocket::closed, this, [this, socket] { closed(socket); });
    return true;
}

void PhoneHost::drop(PhoneSocket* socket) {
    socket->disconnect(this);
    socket->close(kClosePolicy);
    socket->deleteLater();
}

void PhoneHost::receive(PhoneSocket* socket, const QString& text) {
    const auto found = sessions_.find(socket);
    if (found == sessions_.end()) return;
    Session& session = found->second;
    if (session.phone.empty()) {
        authenticate(socket, session, text);
        return;
    }
    const std::string phone = session.phone;
    rules_.heard(phone, now());
    const std::optional<Message> message = readMessage(text);
    // Stop always gets through; everything else counts against the rate.
    if (!message || message->kind != Message::Kind::Stop) {
        const RateGate::Verdict verdict = rules_.admit(phone, now());
        if (verdict == RateGate::Verdict::DropAndTell) socket->sendText(refusedText("slow"));
        if (verdict != RateGate::Verdict::Pass) return;
    }
    if (message) act(socket, phone, *message);
}

void PhoneHost::authenticate(PhoneSocket* socket, Session& session, const QString& text) {
    const std::optional<Message> hello = readMessage(text);
    if (!hello || hello->kind != Message::Kind::Hello ||
        !sameToken(QString::fromStdString(hello->token), token_)) {
        sessions_.erase(socket);
        drop(socket);
        return;
    }
    std::string label = hello->name;
    if (label.empty()) label.append(1, '#').append(std::to_string(joins_ + 1));
    // The same page again (a reload, a second tab): the newer socket drives.
    std::vector<PhoneSocket*> replaced;
    for (const auto& [other, otherSession] : sessions_) {
        if (other != socket && otherSession.phone == hello->phone) replaced.push_back(other);
    }
    for (PhoneSocket* other : replaced) {
        sessions_.erase(other);
        other->sendText(refusedText("replaced"));  // so that it does not come back
        drop(other);
    }
    if (rules_.join(hello->phone, label, now()) == PhoneRules::Join::Full) {
        socket->sendText(refusedText("full"));
        sessions_.erase(socket);
        drop(socket);
        return;
    }
    ++joins_;
    session.phone = hello->phone;
    strangers_->trust(socket->connection());
    socket->trust();
    socket->sendText(welcomeText(label));
    push();
    emit phonesChanged();
}

void PhoneHost::act(PhoneSocket* socket, const std::string& phone, const Message& message) {
    using Kind = Message::Kind;
    if (message.kind == Kind::Claim) {
        const std::vector<Garage::Car> cars = garage_.cars();
        const bool offered = std::any_of(cars.begin(), cars.end(),
                                         [&message](const Garage::Car& car) { return car.key == message.car; });
        if (!offered) {
            socket->sendText(refusedText("gone"));
            return;
        }
        const std::optional<std::string> before = rules_.carOf(phone);
        if (rules_.claim(phone, message.car) == PhoneRules::Claim::Taken) {
            socket->sendText(refusedText("taken"));
            return;
        }
        if (before && *before != message.car) stopIfMoving(*before);
        push();
        emit phonesChanged();
        return;
    }
    if (message.kind == Kind::Release) {
        release(QString::fromStdString(phone));
        return;
    }
    if (message.kind == Kind::Beat) {
        socket->sendText(beatText());
        return;
    }
    // A new name keeps the socket and the car; an empty one keeps the old.
    if (message.kind == Kind::Name) {
        if (message.name.empty()) return;
        rules_.rename(phone, message.name);
        socket->sendText(welcomeText(message.name));
        push();
        emit phonesChanged();
        return;
    }
    const std::optional<std::string> car = rules_.carOf(phone);
    if (!car) return;
    switch (message.kind) {
        case Kind::Speed: garage_.setSpeed(*car, message.value); break;
        case Kind::Lane: garage_.setLane(*car, message.value); break;
        case Kind::Middle: garage_.centre(*car); break;
        case Kind::UTurn: garage_.uTurn(*car); break;
        case Kind::Stop: garage_.stop(*car); break;
        case Kind::Hidden: stopIfMoving(*car); break;
        default: break;
    }
    // The phone hears its car's new state with the next tick: a move is
    // not worth a message to every phone.
}

void PhoneHost::closed(PhoneSocket* socket) {
    const auto found = sessions_.find(socket);
    if (found == sessions_.end()) return;
    const std::string phone = found->second.phone;
    sessions_.erase(found);
    socket->disconnect(this);
    socket->deleteLater();
    if (phone.empty()) return;
    if (const std::optional<std::string> car = rules_.leave(phone, now())) stopIfMoving(*car);
    push();
    emit phonesChanged();
}

void PhoneHost::release(const QString& phone) {
    if (const std::optional<std::string> car = rules_.release(phone.toStdString())) stopIfMoving(*car);
    push();
    emit phonesChanged();
}

void PhoneHost::stopIfMoving(const std::string& car) {
    for (const Garage::Car& known : garage_.cars()) {
        if (known.key == car && known.moving) garage_.stop(car);
    }
}

void PhoneHost::tick() {
    const Millis at = now();
    std::vector<PhoneSocket*> late;
    for (const auto& [socket, session] : sessions_) {
        if (session.phone.empty() && at - session.opened >= kAuthWithin) late.push_back(socket);
    }
    for (PhoneSocket* socket : late) {
        sessions_.erase(socket);
        drop(socket);
    }
    const PhoneRules::Due due = rules_.tick(at);
    for (const std::string& car : due.stop) stopIfMoving(car);
    for (const PhoneRules::Handover& handover : due.handed) {
        if (handover.letGo) stopIfMoving(*handover.letGo);
    }
    push();
    if (!due.freed.empty() || !due.handed.empty()) emit phonesChanged();
}

void PhoneHost::push() {
    const std::vector<Garage::Car> cars = garage_.cars();
    // Cars no longer on a panel are held by no one.
    std::map<std::string, std::string> labels;
    for (const std::string& car : rules_.carsHeld()) {
        const bool offered =
            std::any_of(cars.begin(), cars.end(), [&car](const Garage::Car& known) { return known.key == car; });
        if (!offered) rules_.carGone(car);
    }
    for (const Garage::Car& car : cars) {
        if (const std::optional<std::string> holder = rules_.phoneOf(car.key)) {
            labels[car.key] = rules_.labelOf(*holder);
        }
    }
    // Every time: a panel may hold another car since the last time.
    garage_.showPhones(labels);
    for (auto& [socket, session] : sessions_) {
        if (session.phone.empty()) continue;
        const std::optional<std::string> mine = rules_.carOf(session.phone);
        std::vector<CarOffer> offers;
        std::optional<CarState> state;
        for (const Garage::Car& car : cars) {
            const std::optional<std::string> holder = rules_.phoneOf(car.key);
            offers.push_back({car.key, car.name, !holder, holder == session.phone});
            if (mine == car.key) state = CarState{car.key, car.name, car.state, car.speed, car.lane};
        }
        QString carsNow = carsText(offers);
        if (carsNow != session.carsSent) socket->sendText(session.carsSent = std::move(carsNow));
        QString carNow = carText(state);
        if (carNow != session.carSent) socket->sendText(session.carSent = std::move(carNow));
    }
}

std::vector<PhoneHost::PhoneView> PhoneHost::phones() const {
    std::vector<PhoneView> views;
    const std::vector<Garage::Car> cars = garage_.cars();
    const auto add = [&](const std::string& phone, bool away) {
        PhoneView view{QString::fromStdString(phone), QString::fromStdString(rules_.labelOf(phone)), QString(), away};
        if (const std::optional<std::string> car = rules_.carOf(phone)) {
            for (const Garage::Car& known : cars) {
                if (known.key == *car) view.carName = QString::fromStdString(known.name);
            }
        }
        views.push_back(view);
    };
    for (const std::string& phone : rules_.phonesPresent()) add(phone, false);
    // Listed too, so that the person can take their cars back.
    for (const std::string& phone : rules_.phonesAway()) add(phone, true);
    return views;
}

}  // namespace phone
