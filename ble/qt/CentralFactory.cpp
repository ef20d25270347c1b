#include "ble/qt/CentralFactory.h"

#include <QByteArray>
#include <QtGlobal>
#include <memory>

#include "ble/qt/Central.h"
#include "ble/qt/RadioContext.h"

namespace ble::qt {

CentralFactory makeCentralFactory(EventLoop& loop, const std::string& adapterAddress) {
    RadioOptions options;
    options.adapterAddress = adapterAddress;
    return makeCentralFactory(loop, std::move(options));
}

namespace {

// Qt chooses its LE stack by asking bluetoothd for its version: it runs
// `bluetoothd --version` in a child process and, where that fails, falls back
// to raw kernel sockets that need privileges the program does not have. BlueZ
// has had its D-Bus GATT interface since 5.42 (Debian 12 ships 5.66), and that
// is the path this radio is built and tested on; a value set by the user wins.
void preferBluezDBus() {
#ifdef Q_OS_LINUX
    // Only where this radio runs on Linux (a build without the BlueZ radio).
    static const char* const kVariable = "BLUETOOTH_FORCE_DBUS_LE_VERSION";
    if (!qEnvironmentVariableIsSet(kVariable)) qputenv(kVariable, "5.42");
#endif
}

}  // namespace

CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options) {
    preferBluezDBus();
    auto radio = std::make_shared<RadioContext>(loop, std::move(options));
    return [radio](std::weak_ptr<CentralDelegate> delegate) -> std::shared_ptr<ble::Central> {
        return Central::create(radio, std::move(delegate));
    };
}

}  // namespace ble::qt
