#pragma once

#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"
#include "support/Pty.h"

#include <QList>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>

namespace qt2xx::test {

struct LogLine {
    QString text;
    int color = 0;
    bool operator==(const LogLine&) const = default;
};

class RecordingLog : public StatusLog {
public:
    void ReceiveDisplay(const QString& strAdd, int intColor) override { lines.append({strAdd, intColor}); }
    QStringList texts() const {
        QStringList out;
        for (const LogLine& line : lines)
            out << line.text;
        return out;
    }
    QList<LogLine> lines;
};

struct ShownBox {
    QString text;
    QString informative;
};

class RecordingMessageBox : public MessageBox {
public:
    void show(const QString& text, const QString& informative = QString()) override {
        shown.append({text, informative});
    }
    QList<ShownBox> shown;
};

// The window as the sequencer sees it. With a live timer, enabling Timer1 runs a real QTimer of
// kTickInterval that calls onTick; otherwise the test makes every tick itself.
class FakeWindow : public TransmitWindow {
public:
    FakeWindow() {
        for (int i = 0; i < kParameterCount; ++i)
            combos[i] = ParameterTable()[i].choices.front();
        timer.setInterval(kTickInterval);
    }

    QString comboText(int index) const override {
        ++comboReads;
        return combos[index];
    }
    QString portBoxText() const override { return portBox; }
    void setFileSendCaption(const QString& caption) override { this->caption = caption; }
    void setControlsEnabled(bool enabled) override { controlsEnabled = enabled; }
    bool indicatorEnabled() const override { return indicator; }
    void setIndicatorEnabled(bool enabled) override { indicator = enabled; }
    void setProgressValue(float value) override { progress = value; }
    void setTimerEnabled(bool enabled) override {
        timerSwitches.append(enabled);
        timerEnabled = enabled;
        if (liveTimer && enabled)
            timer.start();
        else
            timer.stop();
    }

    std::array<QString, kParameterCount> combos;
    QString portBox = QStringLiteral("1");
    mutable int comboReads = 0;
    QString caption = QStringLiteral("Start Transmit");
    bool controlsEnabled = true;
    bool indicator = true;
    float progress = 0;
    bool timerEnabled = false;
    QList<bool> timerSwitches;
    bool liveTimer = false;
    QTimer timer;
};

// One sequencer over a real SerialPort, with recorders around it.
struct SequencerParts {
    explicit SequencerParts(const QString& deviceDirectory)
        : port(deviceDirectory), sequencer(port, window, log, boxes, values, frame) {}

    // Ticks come from a real QTimer of kTickInterval while the sequencer has Timer1 enabled.
    void runOnRealTimer() {
        window.liveTimer = true;
        QObject::connect(&window.timer, &QTimer::timeout, &window.timer,
                         [this] { sequencer.Timer1_Timer(); });
    }

    SerialPort port;
    FakeWindow window;
    RecordingLog log;
    RecordingMessageBox boxes;
    ParameterValues values;
    DownloadFrame frame{};
    DownloadSequencer sequencer;
};

// The parts with a pty of their own, which the port box names; the test makes every tick.
struct SequencerRig : SequencerParts {
    explicit SequencerRig(const QString& deviceDirectory = QStringLiteral("/dev"))
        : SequencerParts(deviceDirectory) {
        window.portBox = pty.slavePath();
    }

    Pty pty;
};

inline QByteArray frameBytes(const DownloadFrame& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

} // namespace qt2xx::test
