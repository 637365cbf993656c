#pragma once

#include "link/SequencerObserver.h"

#include <QDateTime>
#include <QString>

namespace qt2xx {

// What happens to a unit or to a port, as the station tells it.
enum class PortEventKind {
    Started,     // a controller answered: unit n begins
    Done,        // the unit's exchange ended with an outcome
    Interrupted, // the exchange was cut short by a lost port or a stop
    Lost,
    Back,
    Stopped,
};

struct PortEvent {
    QDateTime time; // UTC
    QString device;
    int unit = 0; // the unit the event belongs to, counted from 1 per port; 0 before the first
    PortEventKind kind = PortEventKind::Started;
    Outcome outcome = Outcome::Finished; // of a Done event
    QString serial;                      // the serial the port was armed with; empty without scans
    bool rework = false;                 // the serial already had a finished record

    bool finished() const { return kind == PortEventKind::Done && outcome == Outcome::Finished; }
    // The unit ended without its controller programmed.
    bool failed() const {
        return (kind == PortEventKind::Done && !finished()) || kind == PortEventKind::Interrupted;
    }
};

// "started", "finished", "transmit-failure", ... as scripts read them; outcomes by the record's words.
QString PortEventName(const PortEvent& event);

} // namespace qt2xx
