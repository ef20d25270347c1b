// The widget tests need a QApplication; they run offscreen, also when the
// test list is read at build time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "link/SystemLog.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's settings and its dialogs' Documents folder: never the tester's own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("HOME", home.path().toUtf8());
    QApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
