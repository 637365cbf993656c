#pragma once

#include "station/PortEvent.h"

#include <QHash>

#include <optional>

namespace qt2xx {

// The one count of a port's units and outcomes. A unit is numbered when its controller answers; its
// outcome is counted when the port closes it, except a finished unit whose record is on its way to a
// writer, which is held until the writer has committed that record. A finished unit never committed
// counts as not finished.
class UnitTally {
public:
    // A controller answered: the next unit begins. A unit still open is closed first.
    void begin();
    // The record of the open unit's outcome was handed to a writer under this ticket.
    void recordSubmitted(quint64 ticket) { m_ticket = ticket; }
    // Closes the open unit; returns true when the outcome counts now, false when it waits for its
    // record (it is then told by commit()).
    bool close(const PortEvent& event);
    // The writer has committed a record; the held outcome of that ticket, if any, counts now.
    std::optional<PortEvent> commit(quint64 ticket);

    int unit() const { return m_unit; }
    bool open() const { return m_open; }
    int finished() const { return m_finished; }
    int failed() const { return m_failed; }
    int interrupted() const { return m_interrupted; }
    int held() const { return int(m_held.size()); }

private:
    int m_unit = 0;
    bool m_open = false;
    quint64 m_ticket = 0;
    int m_finished = 0;
    int m_failed = 0;
    int m_interrupted = 0;
    QHash<quint64, PortEvent> m_held;
};

} // namespace qt2xx
