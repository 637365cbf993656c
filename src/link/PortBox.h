#pragma once

#include "platform/core/PortErrors.h"

#include <QString>

#include <cstdint>

namespace qt2xx {

// What the text of the port box selects.
struct PortBoxChoice {
    PortError error = kPortOk; // why the text selects nothing, else kPortOk
    std::int16_t number = 0;
    QString devicePath; // set when the text names a device as it stands; number is then unused
};

// A text that, trimmed, is a device path ("/dev/..." on Unix; "COM<n>" or "\\.\..." on Windows) is
// opened as it stands. Every other text is read as a number, rounded to the nearest whole number with
// halves to the even neighbour; a number outside the 16-bit signed range selects nothing.
PortBoxChoice ReadPortBox(const QString& text);

} // namespace qt2xx
