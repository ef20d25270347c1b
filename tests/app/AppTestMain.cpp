// The widget tests need a QApplication; they run offscreen, also when the
// test list is read at build time.
#include <gtest/gtest.h>

#include <QApplication>

#include "link/SystemLog.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
