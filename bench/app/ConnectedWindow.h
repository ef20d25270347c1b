// The window of the phone benches: simulated cars, Connect pressed and every
// car driving (active, its version known), then List pressed. Null, with a
// line on standard error, when the cars never drove.
#pragma once

#include <memory>

#include "app/MainWindow.h"

std::unique_ptr<MainWindow> openConnectedWindow(std::size_t cars);
