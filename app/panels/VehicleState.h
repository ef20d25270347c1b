// What a panel tells about the vehicle bound to it, and what the status bar
// tells about the registry. For a person's eyes only.
#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>
#include <string>

class VehiclesController;

struct PanelStatus {
    enum class Link {
        Unbound,     // the panel was never bound (a negative tag)
        Connecting,  // listed, the link not yet in SDK mode
        Ready,       // in SDK mode, at speed 0
        Moving,      // in SDK mode, the last speed sent above 0
        Gone,        // no longer in the registry
    };
    Link link = Link::Unbound;
    std::optional<std::uint16_t> firmware;
    // For a gone car, why the radio ended its link, in the radio's words.
    std::string ended = {};
};

PanelStatus panelStatus(const VehiclesController& controller, qint64 boundTag);

// "", "Connecting…", "Ready", "Moving", "Gone".
QString linkText(PanelStatus::Link link);
// As linkText, but a car a lost broker took with it reads "Broker lost".
QString stateText(const PanelStatus& status);
// Why a gone car went, when its state does not say it all: the broker it
// was lost with ("the broker at mqtt://HOST was lost"); else "".
QString stateReason(const PanelStatus& status);
// "Firmware 0x1a2b", or "" before the vehicle has told.
QString firmwareText(std::optional<std::uint16_t> firmware);
// "0x0000003d" for a bound tag, "" otherwise.
QString hexIdentifierText(qint64 boundTag);

// "No vehicles", "1 vehicle", "3 vehicles".
QString registryText(const VehiclesController& controller);
