#include "link/DriveRecorder.h"

#include <cmath>
#include <cstring>

#include "link/LinkText.h"
#include "zelto_sdk/zelto_util.h"

namespace {

std::string numberText(double value) {
    if (!std::isfinite(value)) return "0";  // JSON has no NaN; the link never sends one
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string atText(double atMs) { return numberText(std::round(atMs)); }

}  // namespace

std::string hexText(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0) return {};
    std::string text(3 * length, '\0');
    hexdump_line(bytes, length, text.data());
    text.resize(std::strlen(text.c_str()));
    return text;
}

DriveRecorder::DriveRecorder(std::FILE* out, std::function<double()> millisecondsNow)
    : out_(out), now_(std::move(millisecondsNow)) {
    DriveTap::addObserver(this);
}

DriveRecorder::~DriveRecorder() { DriveTap::removeObserver(this); }

std::string DriveRecorder::lineFor(const SentCommand& command, double atMs) {
    std::string line = "{\"at\":" + atText(atMs) + ",\"vehicle\":\"" + link_text::identifierText(command.vehicle) + "\"";
    const std::string name = command.name ? command.name : "frame";
    if (command.occasion != nullptr) {
        // Sent by the program itself (the stop at the end): a player sends
        // its own, so the line carries no step.
        line += ",\"occasion\":\"" + std::string(command.occasion) + "\"";
    } else if (name == "set-speed" && command.speed) {
        line += ",\"speed\":" + numberText(*command.speed);
    } else if (name == "change-lane" && command.offset) {
        line += ",\"lane\":" + numberText(*command.offset);
        if (command.speed) line += ",\"speed\":" + numberText(*command.speed);
    } else if (name == "turn-180") {
        line += ",\"uturn\":true";
    } else if (name == "set-offset" && command.offset) {
        line += ",\"offset\":" + numberText(*command.offset);
    }
    line += ",\"command\":\"" + name + "\",\"frame\":\"" + hexText(command.bytes, command.length) + "\"}";
    return line;
}

void DriveRecorder::commandSent(const SentCommand& command) { write(lineFor(command, now_())); }

void DriveRecorder::valueNotified(std::uint32_t vehicle, const std::vector<std::uint8_t>& value) {
    write("{\"at\":" + atText(now_()) + ",\"vehicle\":\"" + link_text::identifierText(vehicle) + "\",\"notified\":\"" +
          hexText(value.data(), value.size()) + "\"}");
}

void DriveRecorder::write(const std::string& line) {
    if (out_ == nullptr) return;
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}
