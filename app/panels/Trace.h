// The control panel's trace: one line on standard output per event, flushed
// at once so that a reader sees it as it happens.
#pragma once

#include <string_view>

void trace(std::string_view line);
