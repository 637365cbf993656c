#include "station/UnitTally.h"

#include <utility>

namespace qt2xx {

void UnitTally::begin() {
    ++m_unit;
    m_open = true;
    m_ticket = 0;
}

bool UnitTally::close(const PortEvent& event) {
    m_open = false;
    const quint64 ticket = std::exchange(m_ticket, 0);
    if (event.kind == PortEventKind::Interrupted) {
        ++m_interrupted;
    } else if (!event.finished()) {
        ++m_failed;
    } else if (ticket != 0) {
        m_held.insert(ticket, event);
        return false;
    } else {
        ++m_finished;
    }
    return true;
}

std::optional<PortEvent> UnitTally::commit(quint64 ticket) {
    const auto it = m_held.find(ticket);
    if (it == m_held.end())
        return std::nullopt;
    const PortEvent event = *it;
    m_held.erase(it);
    ++m_finished;
    return event;
}

} // namespace qt2xx
