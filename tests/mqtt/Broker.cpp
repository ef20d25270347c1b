#include "tests/mqtt/Broker.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTest>

namespace mqtt_test {
namespace {

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return open;
}

}  // namespace

Broker::Broker(const QString& user, const QString& password) {
    port_ = freeLoopbackPort();
    QFile config(folder_.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly)) return;
    QByteArray text = QStringLiteral("listener %1 127.0.0.1\npersistence false\nset_tcp_nodelay true\n").arg(port_).toUtf8();
    // Started as root, mosquitto would turn into a user who cannot read this folder.
    if (const passwd* self = ::getpwuid(::geteuid())) text += "user " + QByteArray(self->pw_name) + "\n";
    if (user.isEmpty()) {
        text += "allow_anonymous true\n";
    } else {
        const QString passwords = folder_.filePath(QStringLiteral("passwords"));
        QProcess::execute(QStringLiteral("/usr/bin/mosquitto_passwd"), {QStringLiteral("-b"), QStringLiteral("-c"), passwords, user, password});
        text += "allow_anonymous false\npassword_file " + passwords.toUtf8() + "\n";
    }
    config.write(text);
    config.close();
    start();
}

Broker::~Broker() { kill(); }

void Broker::kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(30000);
}

bool Broker::start() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), folder_.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process_.waitForStarted(30000)) return false;
    return QTest::qWaitFor([this] { return accepts(port_); }, 30000);
}

bool publishRaw(int port, const QString& topic, const QByteArray& payload) {
    mosquitto_lib_init();
    mosquitto* session = mosquitto_new(nullptr, true, nullptr);
    bool sent = mosquitto_connect(session, "127.0.0.1", port, 5) == MOSQ_ERR_SUCCESS;
    int id = 0;
    sent = sent && mosquitto_publish(session, &id, topic.toUtf8().constData(), static_cast<int>(payload.size()),
                                     payload.constData(), 1, false) == MOSQ_ERR_SUCCESS;
    // QoS 1: the broker's acknowledgement is the event waited for.
    bool acknowledged = false;
    mosquitto_user_data_set(session, &acknowledged);
    mosquitto_publish_callback_set(session, [](mosquitto*, void* done, int) { *static_cast<bool*>(done) = true; });
    for (int turn = 0; sent && !acknowledged && turn < 300; ++turn) mosquitto_loop(session, 100, 1);
    mosquitto_disconnect(session);
    mosquitto_destroy(session);
    return sent && acknowledged;
}

}  // namespace mqtt_test
