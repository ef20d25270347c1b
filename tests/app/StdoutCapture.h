// Collects what the panel traces on standard output while it lives.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

class StdoutCapture {
public:
    StdoutCapture() : saved_(std::cout.rdbuf(captured_.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(saved_); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // What was written since the last take.
    std::string take() {
        std::string text = captured_.str();
        captured_.str({});
        return text;
    }

private:
    std::ostringstream captured_;
    std::streambuf* saved_;
};
