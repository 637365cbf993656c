#pragma once

#include <QString>

#include <cstdint>

namespace qt2xx {

// Colour codes of the status log. The type holds any 32-bit code: a code other than these three
// passes through and leaves the message in the box's default colour.
enum LogColor : std::int32_t { kLogGreen = 1, kLogRed = 2, kLogBlue = 3 };

// The status log's one writing operation.
class StatusLog {
public:
    virtual ~StatusLog() = default;
    virtual void ReceiveDisplay(const QString& strAdd, LogColor intColor) = 0;
};

// What the port connection and the download sequencer read and set on the window.
class TransmitWindow {
public:
    virtual ~TransmitWindow() = default;
    virtual QString comboText(int index) const = 0; // the text of Combo1(index), empty when none is picked
    virtual QString portBoxText() const = 0;        // the text of cboComPort
    virtual void setFileSendCaption(const QString& caption) = 0;
    // Enables or disables Frame10, then cboComPort: the one place that does so.
    virtual void setControlsEnabled(bool enabled) = 0;
    virtual bool indicatorEnabled() const = 0; // Label1(0)
    virtual void setIndicatorEnabled(bool enabled) = 0;
    virtual void setProgressValue(float value) = 0; // prgFileTransfer, 0 to 100
    // Timer1: enabling starts a fresh 100 ms interval; each expiry calls the tick handler.
    virtual void setTimerEnabled(bool enabled) = 0;
};

} // namespace qt2xx
