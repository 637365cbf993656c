#include "station/RemovalWatch.h"

#include "link/Protocol.h"

#include <utility>

namespace qt2xx {

RemovalWatch::RemovalWatch(QString device, QObject* parent) : QObject(parent), m_device(std::move(device)) {
    m_port.setDevicePath(m_device);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kProbeInterval);
    connect(&m_timer, &QTimer::timeout, this, &RemovalWatch::tick);
    connect(&m_port, &CommPort::onComm, this, &RemovalWatch::receive);
}

void RemovalWatch::begin() {
    m_watching = true;
    m_handingOver = false;
    m_probeOut = false;
    m_answered = false;
    m_missed = 0;
    m_probes = 0;
    if (!m_manualTicks)
        m_timer.start();
}

void RemovalWatch::end() {
    m_watching = false;
    m_handingOver = false;
    m_timer.stop();
    closePort();
}

void RemovalWatch::handOver() {
    if (!m_watching)
        return;
    m_handingOver = true;
    closePort();
}

// Each tick closes the window of the probe before it and sends the next, until the unit is gone.
void RemovalWatch::tick() {
    if (!m_watching)
        return;
    if (m_handingOver) {
        end();
        Q_EMIT handedOver();
        return;
    }
    if (std::exchange(m_probeOut, false))
        m_missed = m_answered ? 0 : m_missed + 1;
    if (m_missed >= kUnansweredProbes) {
        end();
        Q_EMIT gone();
        return;
    }
    probe();
}

// A port that does not open or cannot be written has nothing in the slot to answer: the probe
// counts as unanswered.
void RemovalWatch::probe() {
    m_probeOut = true;
    m_answered = false;
    ++m_probes;
    if (!m_port.isPortOpen() && m_port.open() != kPortOk)
        return;
    if (!m_port.outputText(QString::fromLatin1(kHandshakeRequest)))
        closePort();
}

void RemovalWatch::receive() {
    if (m_port.commEvent() != kCommEventReceive) {
        closePort();
        return;
    }
    if (m_port.input().contains(kReadyByte) && m_probeOut)
        m_answered = true;
}

void RemovalWatch::closePort() {
    if (m_port.isPortOpen())
        m_port.close();
}

} // namespace qt2xx
