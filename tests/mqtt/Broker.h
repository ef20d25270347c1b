// A real mosquitto for the tests: started on a free loopback port with its
// configuration in a temporary folder, killed and started again on the same
// port, optionally with a password file. Every wait is bounded and waits on
// the broker's own answer, never on a fixed time.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <mutex>

struct mosquitto;

namespace mqtt_test {

class Broker {
public:
    // With a user, only that user and password log in.
    explicit Broker(const QString& user = QString(), const QString& password = QString());
    // With the ACL that packaging/mosquitto holds: each user logs in with the
    // password "pw-USER", and "spy" may read everything.
    static Broker withSampleAcl(const QStringList& users);
    Broker(Broker&&) = delete;
    ~Broker();

    bool running() const { return process_.state() == QProcess::Running; }
    int port() const { return port_; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
    // Logged in as that user of the sample ACL.
    QString url(const QString& user) const;
    void kill();
    // On the same port; true once it takes connections.
    bool start();

private:
    Broker(const QStringList& users, const QStringList& passwords, const QByteArray& acl);
    QTemporaryDir folder_;
    QProcess process_;
    int port_ = 0;
};

// Publishes one message as an outsider would (any topic, any bytes),
// anonymously or as a user of the sample ACL. True once the broker took it,
// which it does even where the ACL then drops it.
bool publishRaw(int port, const QString& topic, const QByteArray& payload, const QString& user = QString());

// The sample ACL's "spy", reading what is published under `pattern`.
class Spy {
public:
    Spy(int port, const QString& pattern);
    ~Spy();
    // "TOPIC PAYLOAD", in the order heard.
    QStringList topics();
    // Until a payload holds `text`, within a generous bound.
    bool waitFor(const QString& text);

private:
    mosquitto* session_ = nullptr;
    QByteArray pattern_;
    std::atomic<bool> subscribed_{false};
    std::mutex mutex_;
    QStringList topics_;
};

}  // namespace mqtt_test
