#include "station/ScanArbiter.h"

#include <algorithm>
#include <utility>

namespace qt2xx {

ScanArbiter::ScanArbiter(int slotCount, QString pattern,
                         std::function<bool(const QString& serial)> alreadyFinished, bool reworkAllowed,
                         int unitsNeeded)
    : m_slots(static_cast<std::size_t>(std::max(slotCount, 0))), m_pattern(std::move(pattern)),
      m_alreadyFinished(std::move(alreadyFinished)), m_reworkAllowed(reworkAllowed),
      m_unitsNeeded(std::max(unitsNeeded, 0)) {
    if (!m_pattern.isEmpty())
        m_expression.setPattern(QRegularExpression::anchoredPattern(m_pattern));
}

ScanArbiter::Scan ScanArbiter::refuse(const QString& serial, const QString& reason) const {
    Scan result;
    result.outcome = Outcome::Refused;
    result.serial = serial;
    result.reason = reason;
    return result;
}

ScanArbiter::Scan ScanArbiter::scan(const QString& line) {
    const QString serial = line.trimmed();
    if (serial.isEmpty())
        return {};
    if (m_inputEnded)
        return refuse(serial, QStringLiteral("Scanning has ended."));
    if (!m_pattern.isEmpty() && m_expression.isValid() && !m_expression.match(serial).hasMatch()) {
        return refuse(
            serial,
            QStringLiteral("%1 does not match the order's serial pattern %2.").arg(serial, m_pattern));
    }
    const auto armedHere = std::find_if(m_slots.begin(), m_slots.end(),
                                        [&serial](const Slot& slot) { return slot.serial == serial; });
    if (armedHere != m_slots.end()) {
        return refuse(serial, QStringLiteral("%1 is already armed on slot %2.")
                                  .arg(serial)
                                  .arg(armedHere - m_slots.begin() + 1));
    }
    if (armedCount() >= m_unitsNeeded)
        return refuse(serial, QStringLiteral("The order needs no more units."));
    const int slot = nextSlot();
    if (slot == 0)
        return refuse(serial, QStringLiteral("Every slot is busy."));
    const bool finishedBefore = m_alreadyFinished && m_alreadyFinished(serial);
    if (finishedBefore && !m_reworkAllowed)
        return refuse(serial, QStringLiteral("%1 already has a finished record.").arg(serial));

    m_slots[static_cast<std::size_t>(slot - 1)] = {serial, finishedBefore};
    Scan result;
    result.outcome = Outcome::Armed;
    result.serial = serial;
    result.slot = slot;
    result.rework = finishedBefore;
    return result;
}

void ScanArbiter::unitEnded(int slot) {
    if (slotAt(slot))
        m_slots[static_cast<std::size_t>(slot - 1)] = {};
}

void ScanArbiter::setUnitsNeeded(int units) {
    m_unitsNeeded = std::max(units, 0);
}

void ScanArbiter::endOfInput() {
    m_inputEnded = true;
}

const ScanArbiter::Slot* ScanArbiter::slotAt(int slot) const {
    if (slot < 1 || slot > slotCount())
        return nullptr;
    return &m_slots[static_cast<std::size_t>(slot - 1)];
}

bool ScanArbiter::isArmed(int slot) const {
    const Slot* s = slotAt(slot);
    return s && !s->serial.isEmpty();
}

QString ScanArbiter::serial(int slot) const {
    const Slot* s = slotAt(slot);
    return s ? s->serial : QString();
}

bool ScanArbiter::isRework(int slot) const {
    const Slot* s = slotAt(slot);
    return s && s->rework;
}

int ScanArbiter::armedCount() const {
    return static_cast<int>(std::count_if(m_slots.begin(), m_slots.end(),
                                          [](const Slot& slot) { return !slot.serial.isEmpty(); }));
}

int ScanArbiter::nextSlot() const {
    if (m_inputEnded || armedCount() >= m_unitsNeeded)
        return 0;
    for (int slot = 1; slot <= slotCount(); ++slot) {
        if (!isArmed(slot))
            return slot;
    }
    return 0;
}

bool ScanArbiter::finished() const {
    return armedCount() == 0 && (m_inputEnded || m_unitsNeeded == 0);
}

} // namespace qt2xx
