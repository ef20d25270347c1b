// The window of the phone benches: simulated cars, Connect pressed and every
// car driving (active, its version known), then List pressed. Null, with a
// line on standard error, when the cars never drove.
#pragma once

#include <QApplication>
#include <fstream>
#include <memory>
#include <streambuf>

#include "app/MainWindow.h"

// What the phone benches run in: Qt offscreen unless a platform is named,
// the link's log and the trace lines kept off the terminal, which standard
// output is given back to at the end, however the bench ends.
class QuietBenchApplication {
public:
    QuietBenchApplication(int& argc, char** argv);
    ~QuietBenchApplication();
    QuietBenchApplication(const QuietBenchApplication&) = delete;
    QuietBenchApplication& operator=(const QuietBenchApplication&) = delete;

private:
    static int& offscreenUnlessNamed(int& argc);
    QApplication application_;
    std::ofstream sink_{"/dev/null"};
    std::streambuf* terminal_;
};

std::unique_ptr<MainWindow> openConnectedWindow(std::size_t cars);
