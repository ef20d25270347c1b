// The link's tests keep standard error and the machine's journal quiet: their
// log lines are asserted through observers instead.
#include <gtest/gtest.h>

#include "link/SystemLog.h"

int main(int argc, char** argv) {
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
