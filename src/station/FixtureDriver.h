#pragma once

#include "station/FixtureFile.h"
#include "station/FixtureLink.h"
#include "station/FixtureSignals.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>
#include <vector>

namespace qt2xx {

class StationPort;
class StationSession;

// Shows a station session on its fixture: the slot lamps follow each slot's phase, the stack light
// and the buzzer the station's conditions, through the fixture's I/O module. It reads the session
// every kRefresh, which costs a few comparisons per port, and writes only what changed; a module
// that does not answer never holds up programming. Slots are the session's ports in the order given.
// A slot with a unit-present contact tells its port each state of it, the port of every new station
// included, so the contact stands in for the port's removal watch.
class FixtureDriver : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRefresh{100};

    FixtureDriver(const StationSession& session, Fixture fixture, QObject* parent = nullptr);

    void start();
    // A refused scan sounds the buzzer briefly.
    void scanRefused();
    // The stack light shows red while records cannot be written or the session's plant rules are not
    // kept, which the driver reads itself, and while a face says the rules are broken.
    void setRulesBroken(bool broken);
    // Leaves the outputs safe; shutDown() follows within the bound.
    void shutdown(std::chrono::milliseconds bound = FixtureLink::kShutdownBound);
    // shutdown(), and returns once the outputs are safe or bound has passed, running the events
    // meanwhile: what a face calls as its program ends. True when the module confirmed them.
    bool finish(std::chrono::milliseconds bound = FixtureLink::kShutdownBound);

    FixtureLink& link() { return m_link; }
    const FixtureOutputs& outputs() const { return m_outputs; }

Q_SIGNALS:
    void moduleAway(const QString& reason);
    void moduleBack();
    void shutDown(bool safe);

private:
    void refresh();
    void tellContacts();
    StationPort* portOfSlot(int slot) const;
    SlotPhase phaseOfSlot(int slot) const;
    std::chrono::milliseconds showOutcome(int slot, SlotPhase phase);

    const StationSession& m_session;
    FixtureLink m_link;
    FixtureSignals m_signals;
    FixtureOutputs m_outputs;
    QTimer m_timer;
    bool m_shuttingDown = false;
    bool m_rulesBroken = false; // told by the face; the plant's rules are read from the session
    std::optional<bool> m_safe; // how the shutdown ended, once it has
    // Per slot, the port and the number of the unit whose outcome the lamps were last shown.
    struct ShownUnit {
        const StationPort* port = nullptr;
        int unit = 0;
        friend bool operator==(const ShownUnit&, const ShownUnit&) = default;
    };
    std::vector<ShownUnit> m_shown;
};

} // namespace qt2xx
