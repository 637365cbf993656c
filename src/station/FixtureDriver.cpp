#include "station/FixtureDriver.h"

#include "station/PortPhase.h"
#include "station/Station.h"
#include "station/StationPort.h"
#include "station/StationSession.h"

#include <QEventLoop>

namespace qt2xx {

FixtureDriver::FixtureDriver(const StationSession& session, Fixture fixture, QObject* parent)
    : QObject(parent), m_session(session), m_link(std::move(fixture)),
      m_signals(int(m_link.fixture().slots.size()), SlotPhase::Idle), m_shown(m_link.fixture().slots.size()) {
    m_timer.setInterval(kRefresh);
    connect(&m_timer, &QTimer::timeout, this, &FixtureDriver::refresh);
    connect(&m_link, &FixtureLink::moduleAway, this, &FixtureDriver::moduleAway);
    connect(&m_link, &FixtureLink::moduleBack, this, &FixtureDriver::moduleBack);
    connect(&m_link, &FixtureLink::shutDown, this, [this](bool safe) {
        m_safe = safe;
        Q_EMIT shutDown(safe);
    });
    connect(&m_link, &FixtureLink::presenceChanged, this, &FixtureDriver::tellContacts);
    connect(&m_link, &FixtureLink::moduleAway, this, &FixtureDriver::tellContacts);
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
    m_rulesBroken = broken;
    m_signals.setRulesBroken(broken || !m_session.plantRulesKept());
    refresh();
}

void FixtureDriver::shutdown(std::chrono::milliseconds bound) {
    m_shuttingDown = true;
    m_timer.stop();
    m_link.shutdown(bound);
}

bool FixtureDriver::finish(std::chrono::milliseconds bound) {
    shutdown(bound);
    if (!m_safe) {
        QEventLoop loop;
        connect(this, &FixtureDriver::shutDown, &loop, &QEventLoop::quit);
        // The link tells its end within the bound; this only guards a link that was closed already.
        QTimer::singleShot(bound + kRefresh, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_safe.value_or(false);
}

// The slot's port of the current station; a port that did not open has none.
StationPort* FixtureDriver::portOfSlot(int slot) const {
    const auto& choices = m_session.ports();
    const Station* station = m_session.station();
    if (!station || slot < 1 || slot > int(choices.size()))
        return nullptr;
    const QString& device = choices[std::size_t(slot - 1)].device;
    for (const auto& port : station->ports()) {
        if (port->device() == device)
            return port.get();
    }
    return nullptr;
}

// Told on every change and at every refresh, so the ports of a station started later learn theirs.
void FixtureDriver::tellContacts() {
    for (int slot = 1; slot <= m_signals.slotCount(); ++slot) {
        if (!m_link.hasContact(slot))
            continue;
        StationPort* port = portOfSlot(slot);
        if (!port)
            continue;
        switch (m_link.contact(slot)) {
        case FixtureLink::Contact::Unknown:
            port->contactChanged(UnitContact::Unknown);
            break;
        case FixtureLink::Contact::Open:
            port->contactChanged(UnitContact::Open);
            break;
        case FixtureLink::Contact::Closed:
            port->contactChanged(UnitContact::Closed);
            break;
        }
    }
}

SlotPhase FixtureDriver::phaseOfSlot(int slot) const {
    const StationPort* port = portOfSlot(slot);
    if (port) {
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
    const auto& choices = m_session.ports();
    const bool notOpened =
        m_session.station() && slot <= int(choices.size()) && choices[std::size_t(slot - 1)].device.isEmpty();
    return notOpened ? SlotPhase::Failed : SlotPhase::Idle;
}

// A unit that ended between two refreshes, its port already watching for its removal or seeking the
// next, still shows its outcome, and its failure still sounds: once per unit.
std::chrono::milliseconds FixtureDriver::showOutcome(int slot, SlotPhase phase) {
    const StationPort* port = portOfSlot(slot);
    if (!port || !port->lastEnd())
        return FixtureSignals::kSilence;
    const ShownUnit unit{port, port->unit()};
    ShownUnit& shown = m_shown[std::size_t(slot - 1)];
    if (shown == unit)
        return FixtureSignals::kSilence;
    shown = unit;
    const SlotPhase outcome = port->lastEnd()->finished ? SlotPhase::Finished : SlotPhase::Failed;
    return phase == outcome ? FixtureSignals::kSilence : m_signals.setPhase(slot, outcome);
}

void FixtureDriver::refresh() {
    if (m_shuttingDown)
        return;
    tellContacts();
    const Station* station = m_session.station();
    m_signals.setRecordsFailing(!m_session.recordsFailure().isEmpty() ||
                                (station && station->recordsFailing()));
    m_signals.setRulesBroken(m_rulesBroken || !m_session.plantRulesKept());
    std::chrono::milliseconds buzz = FixtureSignals::kSilence;
    for (int slot = 1; slot <= m_signals.slotCount(); ++slot) {
        const SlotPhase phase = phaseOfSlot(slot);
        buzz = std::max(buzz, showOutcome(slot, phase));
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
