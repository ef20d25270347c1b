// The link's tests keep standard error quiet: their log lines are asserted
// through observers instead.
#include <gtest/gtest.h>

#include "link/SystemLog.h"

int main(int argc, char** argv) {
    SystemLog::setEchoToStandardError(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
