#include "drive/RelayCommand.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSysInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "ble/mqtt/Relay.h"
#include "ble/qt/QtEventLoop.h"
#include "drive/Runner.h"
#include "link/DriveRecorder.h"

namespace drive {

int runRelay(const Invocation& invocation, const ble::CentralFactory& radio, const LineSink& out, const LineSink& err) {
    const char* password = std::getenv("ZELTO_BROKER_PASSWORD");
    auto url = ble::mqtt::readBrokerUrl(invocation.broker.toStdString(), password ? password : "");
    if (!url.address) {
        err(url.problem);
        return kBadInput;
    }
    url.address->caFile = invocation.caFile.toStdString();
    ble::mqtt::RelayOptions options;
    options.name = ble::mqtt::wire::tokenFrom(
        (invocation.relayName.isEmpty() ? QSysInfo::machineHostName() : invocation.relayName).toStdString());
    options.address = *url.address;
    QElapsedTimer clock;
    clock.start();
    options.wrote = [&clock, &out](const std::string& car, const std::vector<uint8_t>& frame, const std::string& why) {
        char time[32];
        std::snprintf(time, sizeof time, "+%.3f", static_cast<double>(clock.elapsed()) / 1000.0);
        out(std::string(time) + " " + car + " " + hexText(frame.data(), frame.size()) + (why.empty() ? "" : " (" + why + ")"));
    };
    options.log = err;
    options.takeOver = invocation.takeOver;

    ble::qt::QtEventLoop loop;
    QEventLoop running;
    std::string problem;
    bool answered = false;
    std::string ended;
    options.ended = [&](const std::string& why) {
        ended = why;
        running.quit();
    };
    auto relay = std::make_shared<ble::mqtt::Relay>(loop, radio, options);
    relay->start([&](const std::string& why) {
        problem = why;
        answered = true;
        if (!why.empty()) running.quit();
        else err("relay " + options.name + " offers this host's cars on " + url.address->describe());
    });
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, &running, [&running] {
        if (Runner::pendingSignal().load()) running.quit();
    });
    signalWatch.start(50);
    running.exec();
    if (answered && !problem.empty()) {
        err(problem);
        return kBadInput;
    }
    if (!ended.empty()) {
        err(ended);
        return kVehicleLost;
    }
    relay->stop();
    // The cars' stop frames and the "offline" status leave before the program does.
    QEventLoop draining;
    QTimer::singleShot(250, &draining, &QEventLoop::quit);
    draining.exec();
    return kOk;
}

}  // namespace drive
