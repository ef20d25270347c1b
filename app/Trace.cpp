#include "app/Trace.h"

#include <iostream>

void trace(std::string_view line) {
    std::cout << line << '\n' << std::flush;
}
