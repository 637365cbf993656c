#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace qt2xx {

inline constexpr int kParameterValueSlots = 32;

// The staging area between the lists, the files and the encoder. Slots 0 to 25 belong to the
// parameters; the rest belong to none.
using ParameterValues = std::array<QString, kParameterValueSlots>;

// What the operator is told when a capture stops at an unpicked list.
inline const QString kBlankParameterMessage = QStringLiteral("Parameter can not be blank space");

// Copies the text of list i (given by listText) into slot i for i = 0 to 25 and stops at the first
// empty text, returning its index. Slots below it are refreshed, the failing slot holds the empty
// text, slots above it keep what they held.
std::optional<int> CaptureParameterValues(ParameterValues& values,
                                          const std::function<QString(int)>& listText);

} // namespace qt2xx
