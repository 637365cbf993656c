#pragma once

#include "link/TransmitWindow.h"

#include <QColor>

#include <array>
#include <optional>
#include <span>

namespace qt2xx {

class RichTextBox;

// One message of the log that is still coloured: where it begins and the code it came with.
struct ColorMark {
    int start = 0;
    int colorCode = 0;
    friend bool operator==(const ColorMark&, const ColorMark&) = default;
};

inline constexpr int kColorMarkCount = 4;

// The colour a code stands for; empty for every code that leaves the default colour.
std::optional<QColor> logColorOf(int intColor);

// The status log. Each message goes at the end of the box as one line followed by a carriage return.
// The newest one to four messages are coloured by their codes; the marks are forgotten all at once
// when a fifth arrives, and from then on the older messages show in the box's default colour.
//
// Each message costs the same however long the log is: it is appended already in its colour, and
// when a fresh set of marks begins only the range of the previous set goes back to the default colour.
// The visible result is that of replacing the whole text and colouring every mark again.
class StatusLogBox : public StatusLog {
public:
    // Sets the box's default font; the box must outlive the log.
    explicit StatusLogBox(RichTextBox& box);

    void ReceiveDisplay(const QString& strAdd, LogColor intColor) override;

    // The start-up reset: empty text and no marks.
    void reset();

    std::span<const ColorMark> lngColorMarks() const;
    int markCount() const { return m_markCount; }

private:
    RichTextBox& m_box;
    std::array<ColorMark, kColorMarkCount> m_lngColorMarks{};
    int m_markCount = 0;

    void forgetMarks();
};

} // namespace qt2xx
