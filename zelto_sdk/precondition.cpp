#include "zelto_sdk/precondition.h"

#include <cstdio>
#include <cstdlib>

namespace zelto_sdk_detail {

void precondition_failed(const char* function, const char* file, int line, const char* expression) {
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, expression);
    std::fflush(stderr);
    std::abort();
}

}  // namespace zelto_sdk_detail
