#pragma once

#include "platform/core/SerialPort.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace qt2xx {

// Watches for a unit that has ended to be taken out of its slot, with the handshake only: one "8"
// a second, and the unit counts as gone once kUnansweredProbes of them in a row got no "U" before the
// next. The protocol cannot ask a controller whether it waits for a frame, and a controller that
// answered "U" could take a long run of "8"s for one (32 bytes of 0x38 have an XOR of 0), so nothing
// else is written and never faster. The watch keeps a port of its own on the device, which it opens
// while the station's port for it is closed.
class RemovalWatch : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kProbeInterval{1000};
    static constexpr int kUnansweredProbes = 3;

    explicit RemovalWatch(QString device, QObject* parent = nullptr);

    // Begins to watch; the first probe goes out one interval later, so the controller has had a
    // second of silence after its exchange.
    void begin();
    // Ends the watch at once and closes the port; nothing is told.
    void end();
    // Stops probing and tells handedOver() once an interval has passed since the last "8" (or the
    // beginning), so the seek that follows does not write to the controller sooner.
    void handOver();
    bool watching() const { return m_watching; }
    int probesSent() const { return m_probes; }

    // With manual ticks the timer never runs: the caller calls tick(), each one an interval.
    void setManualTicks(bool manual) { m_manualTicks = manual; }
    void tick();

Q_SIGNALS:
    void gone();       // the unit counts as taken out; the watch has ended
    void handedOver(); // the watch has ended after handOver()

private:
    void probe();
    void receive();
    void closePort();

    QString m_device;
    SerialPort m_port;
    QTimer m_timer;
    bool m_manualTicks = false;
    bool m_watching = false;
    bool m_handingOver = false;
    bool m_probeOut = false; // a probe went out and its window is open
    bool m_answered = false; // the open probe was answered
    int m_missed = 0;        // unanswered probes in a row
    int m_probes = 0;        // probes sent in this watch
};

} // namespace qt2xx
