// A real mosquitto for the tests: started on a free loopback port with its
// configuration in a temporary folder, killed and started again on the same
// port, optionally with a password file. Every wait is bounded and waits on
// the broker's own answer, never on a fixed time.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace mqtt_test {

class Broker {
public:
    // With a user, only that user and password log in.
    explicit Broker(const QString& user = QString(), const QString& password = QString());
    ~Broker();

    bool running() const { return process_.state() == QProcess::Running; }
    int port() const { return port_; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
    void kill();
    // On the same port; true once it takes connections.
    bool start();

private:
    QTemporaryDir folder_;
    QProcess process_;
    int port_ = 0;
};

// Publishes one message as an outsider would (any topic, any bytes).
bool publishRaw(int port, const QString& topic, const QByteArray& payload);

}  // namespace mqtt_test
