#pragma once

#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"
#include "support/FakeWindow.h"
#include "support/Pty.h"
#include "support/Recorders.h"

#include <QList>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>

namespace qt2xx::test {

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
