#include "station/FixtureDriver.h"

#include "station/PortPhase.h"
#include "station/Station.h"
#include "station/StationPort.h"
#include "station/StationSession.h"

namespace qt2xx {

FixtureDriver::FixtureDriver(const StationSession& session, Fixture fixture, QObject* parent)
    : QObject(parent), m_session(session), m_link(std::move(fixture)),
      m_signals(int(m_link.fixture().slots.size()), SlotPhase::Idle) {
    m_timer.setInterval(kRefresh);
    connect(&m_timer, &QTimer::timeout, this, &FixtureDriver::refresh);
    connect(&m_link, &FixtureLink::moduleAway, this, &FixtureDriver::moduleAway);
    connect(&m_link, &FixtureLink::moduleBack, this, &FixtureDriver::moduleBack);
    connect(&m_link, &FixtureLink::shutDown, this, &FixtureDriver::shutDown);
}

void FixtureDriver::start() {
    m_link.start();
    refresh();
    m_timer.start();
}

void FixtureDriver::scanRefused() {
    if (!m_shuttingDown)
        m_link.pulseBuzzer(m_signals.scanRefused());
}

void FixtureDriver::setRulesBroken(bool broken) {
    m_signals.setRulesBroken(broken);
    refresh();
}

void FixtureDriver::shutdown(std::chrono::milliseconds bound) {
    m_shuttingDown = true;
    m_timer.stop();
    m_link.shutdown(bound);
}

// The slot's port of the current station; a port that did not open has none.
SlotPhase FixtureDriver::phaseOfSlot(int slot) const {
    const auto& choices = m_session.ports();
    const Station* station = m_session.station();
    if (!station || slot > int(choices.size()))
        return SlotPhase::Idle;
    const QString& device = choices[std::size_t(slot - 1)].device;
    for (const auto& port : station->ports()) {
        if (port->device() != device)
            continue;
        switch (PhaseOf(*port)) {
        case PortPhase::WaitingForScan:
            return SlotPhase::WaitingForScan;
        case PortPhase::Seeking:
        case PortPhase::Checking:
            return SlotPhase::Seeking;
        case PortPhase::Programming:
            return SlotPhase::Programming;
        case PortPhase::Finished:
            return SlotPhase::Finished;
        case PortPhase::Failed:
        case PortPhase::Lost:
        case PortPhase::NotOpen:
            return SlotPhase::Failed;
        case PortPhase::RemoveUnit:
            return SlotPhase::UnitToRemove;
        case PortPhase::Stopped:
            return SlotPhase::Idle;
        }
    }
    return device.isEmpty() ? SlotPhase::Failed : SlotPhase::Idle;
}

void FixtureDriver::refresh() {
    if (m_shuttingDown)
        return;
    const Station* station = m_session.station();
    m_signals.setRecordsFailing(station && station->recordsFailing());
    std::chrono::milliseconds buzz = FixtureSignals::kSilence;
    for (int slot = 1; slot <= m_signals.slotCount(); ++slot) {
        const SlotPhase phase = phaseOfSlot(slot);
        buzz = std::max(buzz, m_signals.setPhase(slot, phase));
        // Without scans a port seeks its next controller as soon as one ends: its lamp keeps the
        // outcome while the stack light shows the slot at work.
        if ((phase == SlotPhase::Finished || phase == SlotPhase::Failed) && station &&
            !station->isStopped() && !m_session.plan().scan)
            m_signals.setPhase(slot, SlotPhase::Seeking);
    }
    if (buzz > FixtureSignals::kSilence)
        m_link.pulseBuzzer(buzz);
    const FixtureOutputs outputs = m_signals.outputs();
    if (outputs == m_outputs)
        return;
    m_outputs = outputs;
    m_link.setOutputs(outputs);
}

} // namespace qt2xx
