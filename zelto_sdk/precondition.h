// Fatal precondition checks of the protocol library. Unlike assert() they stay
// in every build type: a broken precondition reports the function, the source
// file, the line and the failed expression on stderr, then aborts.
#pragma once

namespace zelto_sdk_detail {

[[noreturn]] void precondition_failed(const char* function, const char* file, int line,
                                      const char* expression);

}  // namespace zelto_sdk_detail

// `file` is the library's name for the source file, e.g. "zelto_sdk/protocol";
// `text` is the expression as written (stringified by the caller's own macro,
// before NULL is expanded).
#define ZELTO_REQUIRE(file, expression, text)                                        \
    do {                                                                             \
        if (!(expression)) [[unlikely]] {                                            \
            ::zelto_sdk_detail::precondition_failed(__func__, file, __LINE__, text); \
        }                                                                            \
    } while (0)
