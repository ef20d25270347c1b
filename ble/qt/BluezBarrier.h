// Tells when BlueZ has answered every request this process sent it so far.
//
// Qt gives no sign when a write without response has been handed to BlueZ.
// D-Bus keeps the order of one connection's messages, and Qt Bluetooth talks
// to BlueZ over the shared system bus connection; so a ping sent to BlueZ over
// that connection right after the write is answered only after the write has
// been. The answer then means: the write is through, the next may go.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>

namespace ble::qt {

// Calls `then` from the event loop once BlueZ has answered (or failed to answer
// within `timeout`), unless `context` is gone by then.
void whenBluezHasAnswered(QObject* context, std::chrono::milliseconds timeout,
                          std::function<void()> then);

}  // namespace ble::qt
