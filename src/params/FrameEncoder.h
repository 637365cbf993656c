#pragma once

#include "params/ParameterValues.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace qt2xx {

inline constexpr int kFrameSize = 32;
// The two bytes every frame begins with, whatever the parameters.
inline constexpr std::uint8_t kFrameLead0 = 0x02;
inline constexpr std::uint8_t kFrameLead1 = 0x0F;

// The 32 bytes every controller of one transmission run receives.
using DownloadFrame = std::array<std::uint8_t, kFrameSize>;

// The raw values of bytes 0 to 27 and 31, computed exactly as the controller's scaling rules say.
// Bytes 28 to 30 are 0 and byte 31 is the XOR of the converted bytes 0 to 30 (0 while any byte fails).
using FrameRawValues = std::array<double, kFrameSize>;

// A parameter set that has no frame: one raw value rounds outside 0 to 255.
struct FrameRefusal {
    int byteIndex = 0;
    int parameter = 0; // index of the parameter that feeds the byte
    QString text;      // that parameter's text
    QString boardType; // the Board Type text, since it selects the formulas
    double raw = 0.0;

    // One line for the operator, naming the parameter, its text and the board type.
    QString message() const;
};

// The shortest decimal text that reads back to exactly this double.
QString ShortestText(double value);

// Rounds to the nearest integer, an exact half to the even neighbour; nothing outside 0 to 255.
std::optional<std::uint8_t> ToFrameByte(double raw);

FrameRawValues ComputeFrameRawValues(const ParameterValues& values);

// The parameter that feeds a frame byte, or -1 for bytes 0, 1 and 28 to 31.
int ParameterOfFrameByte(int byteIndex);

// Rewrites frame bytes 0 to 27 and 31 from slots 0 to 25 of values. On a refusal the frame is left
// exactly as it was, so no frame exists for such a set.
std::optional<FrameRefusal> BuildDownloadFrame(const ParameterValues& values, DownloadFrame& frame);

} // namespace qt2xx
