#include "app/panels/Trace.h"

#include <iostream>

void trace(std::string_view line) {
    std::cout << line << '\n' << std::flush;
}
