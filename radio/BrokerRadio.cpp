#include "radio/BrokerRadio.h"

#include <QPointer>
#include <QTimer>
#include <cstdlib>

#include "ble/mqtt/BrokerUrl.h"
#include "ble/mqtt/DriverHub.h"
#include "ble/qt/QtEventLoop.h"
#include "radio/BrokerRules.h"

namespace {

// The loop is declared first so that it outlives the hub posting on it.
struct BrokerRadioParts {
    ble::qt::QtEventLoop loop;
    std::shared_ptr<ble::mqtt::DriverHub> hub;
};

ble::mqtt::BrokerUrl readUrl(const QString& url) {
    const char* password = std::getenv("ZELTO_BROKER_PASSWORD");
    return ble::mqtt::readBrokerUrl(url.toStdString(), password ? password : "");
}

}  // namespace

QString brokerUrlProblem(const QString& url) { return QString::fromStdString(readUrl(url).problem); }

QString brokerUrlWithoutPassword(const QString& url) {
    return QString::fromStdString(ble::mqtt::withoutPassword(url.toStdString()));
}

void makeBrokerRadio(QObject* context, const QString& url, std::function<void(std::optional<Radio>, QString)> done,
                     const QString& caFile, const QString& password) {
    QPointer<QObject> guard(context);
    ble::mqtt::BrokerUrl read = readUrl(url);
    if (!read.address) {
        QTimer::singleShot(0, context, [done, why = QString::fromStdString(read.problem)] { done(std::nullopt, why); });
        return;
    }
    read.address->caFile = caFile.toStdString();
    if (!password.isEmpty()) read.address->password = password.toStdString();
    auto parts = std::make_shared<BrokerRadioParts>();
    parts->hub = std::make_shared<ble::mqtt::DriverHub>(parts->loop, *read.address, broker_rules::vehicleDriverRules());
    const QString description = QStringLiteral("Cars on a broker (%1)").arg(QString::fromStdString(read.address->describe()));
    // Until it answers the hub holds itself through `parts`; the answer lets go.
    parts->hub->start([guard, done, parts, description](const std::string& problem) mutable {
        auto held = std::move(parts);
        // Answered from inside the broker session's handler: the radio is
        // handed over from a fresh turn, where it may be dropped at once.
        QTimer::singleShot(0, [guard, done, held, description, problem] {
            if (!guard) return;
            if (!problem.empty()) return done(std::nullopt, QString::fromStdString(problem));
            done(Radio{held->hub->centralFactory(), description, QString(), held}, QString());
        });
    });
}
