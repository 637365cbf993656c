#include "station/ScanArbiter.h"

#include "station/SerialText.h"

#include <QStringDecoder>

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

namespace {

// A refusal from SerialText, as the sentence the arbiter's other reasons are.
QString sentence(const QString& reason) {
    if (reason.isEmpty())
        return reason;
    //: A reason made a sentence: the full stop of the language.
    return QCoreApplication::translate("qt2xx::ScanArbiter", "%1.")
        .arg(reason.front().toUpper() + reason.sliced(1));
}

// A line that is not a serial, as a refusal may show it: escaped, whatever it holds.
QString shownLine(QByteArrayView line) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(line);
    return decoder.hasError() ? EscapedBytes(line.trimmed()) : EscapedText(text.trimmed());
}

} // namespace

ScanArbiter::Scan ScanArbiter::scan(const QString& line) {
    if (line.trimmed().isEmpty())
        return {};
    const Result<QString> serial = SerialFromText(line);
    if (!serial)
        return refuse(EscapedText(line.trimmed()), sentence(serial.error()));
    return arm(*serial);
}

ScanArbiter::Scan ScanArbiter::scanBytes(QByteArrayView line, qsizetype lineBytes) {
    const bool whole = lineBytes <= line.size();
    if (whole && QString::fromUtf8(line).trimmed().isEmpty())
        return {};
    const Result<QString> serial = SerialFromBytes(line, lineBytes);
    if (!serial)
        return refuse(shownLine(line), sentence(serial.error()));
    return arm(*serial);
}

void ScanArbiter::setSlotReady(std::function<bool(int slot)> ready) {
    m_slotReady = std::move(ready);
}

void ScanArbiter::setSlotEmpty(std::function<bool(int slot)> empty) {
    m_slotEmpty = std::move(empty);
}

void ScanArbiter::setSlotOfUnit(std::function<int(const QString& serial)> slotOf) {
    m_slotOfUnit = std::move(slotOf);
}

ScanArbiter::Scan ScanArbiter::arm(const QString& serial) {
    if (m_inputEnded)
        return refuse(serial, tr("Scanning has ended."));
    if (!m_pattern.isEmpty() && m_expression.isValid() && !m_expression.match(serial).hasMatch()) {
        return refuse(serial, tr("%1 does not match the order's serial pattern %2.").arg(serial, m_pattern));
    }
    const auto armedHere = std::find_if(m_slots.begin(), m_slots.end(),
                                        [&serial](const Slot& slot) { return slot.serial == serial; });
    if (armedHere != m_slots.end()) {
        return refuse(serial, tr("%1 is already armed on slot %2.")
                                  .arg(serial, QString::number(armedHere - m_slots.begin() + 1)));
    }
    if (armedCount() >= m_unitsNeeded)
        return refuse(serial, tr("The order needs no more units."));
    const int own = m_slotOfUnit ? m_slotOfUnit(serial) : 0;
    const bool retry = slotAt(own) && !isArmed(own);
    const int slot = retry ? own : nextSlot();
    if (slot == 0 && armedCount() == slotCount())
        return refuse(serial, tr("Every slot is busy."));
    if (slot == 0 && noUnitIn())
        return refuse(serial, tr("No unit is in a slot: put one in, then scan."));
    if (slot == 0)
        return refuse(serial, tr("No slot is ready: take out the finished units or wait for a slot."));
    const bool finishedBefore = m_alreadyFinished && m_alreadyFinished(serial);
    if (finishedBefore && !m_reworkAllowed)
        return refuse(serial, tr("%1 already has a finished record.").arg(serial));

    m_slots[static_cast<std::size_t>(slot - 1)] = {serial, finishedBefore};
    if (!retry)
        m_lastArmed = slot;
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

QString ScanArbiter::droppedText(const QString& serial, int slot) {
    return tr("The unit of %1 was taken out of slot %2 before programming: scan it again.")
        .arg(serial)
        .arg(slot);
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
    for (int step = 1; step <= slotCount(); ++step) {
        const int slot = (m_lastArmed + step - 1) % slotCount() + 1;
        if (isReady(slot))
            return slot;
    }
    return 0;
}

bool ScanArbiter::noUnitIn() const {
    if (!m_slotEmpty)
        return false;
    bool waiting = false;
    for (int slot = 1; slot <= slotCount(); ++slot) {
        if (isArmed(slot))
            continue;
        if (!m_slotEmpty(slot))
            return false;
        waiting = true;
    }
    return waiting;
}

bool ScanArbiter::isReady(int slot) const {
    return !isArmed(slot) && (!m_slotReady || m_slotReady(slot));
}

bool ScanArbiter::finished() const {
    return armedCount() == 0 && (m_inputEnded || m_unitsNeeded == 0);
}

} // namespace qt2xx
