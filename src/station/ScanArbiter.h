#pragma once

#include <QByteArrayView>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>

#include <functional>
#include <limits>
#include <vector>

namespace qt2xx {

// Which slot a scanned serial arms, and which scans are refused. Slots count from 1 in the order the
// ports were given. A slot waits for a serial, is armed with one while its unit seeks and programs,
// and waits again once its owner says the unit ended, whatever the outcome: one scan, one unit.
// Slots fill in turn: a scan arms the next ready slot after the one armed last, so that a unit that
// finishes quickly does not take the serials meant for the units beside it. A serial must be clean
// text (SerialText.h) before any other rule is asked.
class ScanArbiter {
    // Its refusals are the operator's to read: a face that installs a translator shows them translated.
    Q_DECLARE_TR_FUNCTIONS(qt2xx::ScanArbiter)

public:
    static constexpr int kNoLimit = std::numeric_limits<int>::max();

    enum class Outcome {
        Ignored, // an empty line
        Armed,   // slot holds the serial
        Refused, // reason says why; no slot was armed
    };
    struct Scan {
        Outcome outcome = Outcome::Ignored;
        QString serial;      // trimmed; escaped and shortened when it is not clean text
        int slot = 0;        // the slot armed; 0 unless Armed
        bool rework = false; // armed although the serial already has a finished record
        // A sentence, e.g. "QT2C-1 does not match the order's serial pattern ^QT2C-[0-9]{8}$."
        QString reason;
    };

    // alreadyFinished tells whether a serial has a finished record; an invalid or empty pattern
    // lets every serial through.
    ScanArbiter(int slotCount, QString pattern, std::function<bool(const QString& serial)> alreadyFinished,
                bool reworkAllowed = false, int unitsNeeded = kNoLimit);

    // A line as a line edit delivers it.
    Scan scan(const QString& line);
    // A line as bytes, as standard input delivers it; lineBytes as for SerialFromBytes.
    Scan scanBytes(QByteArrayView line, qsizetype lineBytes = -1);
    // Tells whether a slot that holds no serial can take one now: its unit is gone and its port is
    // not busy. Without it every slot that holds no serial is ready.
    void setSlotReady(std::function<bool(int slot)> ready);
    // Tells whether a slot that is not ready waits only for a unit to be put in, as its unit-present
    // contact says. A scan that finds every slot holding no serial so is refused with that reason.
    void setSlotEmpty(std::function<bool(int slot)> empty);
    // Tells which slot holds, not ready, the unit that last had a serial (0: none), so that a unit
    // is tried again in its own slot by scanning its own serial; the rotation is not moved by it.
    void setSlotOfUnit(std::function<int(const QString& serial)> slotOf);
    void unitEnded(int slot);
    // What the operator reads when a slot drops its serial, its unit having been taken out before
    // its programming began; the slot is told ended with unitEnded() and the serial may come again.
    static QString droppedText(const QString& serial, int slot);
    // The units the order still needs (its quantity less the units finished so far), told again as
    // units finish; slots already armed count against it.
    void setUnitsNeeded(int units);
    void endOfInput();

    int slotCount() const { return static_cast<int>(m_slots.size()); }
    bool isArmed(int slot) const;
    QString serial(int slot) const; // empty while the slot waits
    bool isRework(int slot) const;
    int armedCount() const;
    int unitsNeeded() const { return m_unitsNeeded; }
    bool inputEnded() const { return m_inputEnded; }

    // The slot the next accepted scan arms, the first ready one after the slot armed last; 0 when no
    // scan can arm one now.
    int nextSlot() const;
    // Whether a serial should be read now: a slot waits and the order still needs units.
    bool wantsInput() const { return nextSlot() != 0; }
    // Nothing more will be armed (input ended or the order needs no more units) and every armed
    // slot has ended its unit.
    bool finished() const;

private:
    struct Slot {
        QString serial;
        bool rework = false;
    };
    const Slot* slotAt(int slot) const;
    bool isReady(int slot) const;
    bool noUnitIn() const;
    Scan arm(const QString& serial);
    Scan refuse(const QString& serial, const QString& reason) const;

    std::vector<Slot> m_slots;
    QString m_pattern;
    QRegularExpression m_expression;
    std::function<bool(const QString&)> m_alreadyFinished;
    std::function<bool(int)> m_slotReady;
    std::function<bool(int)> m_slotEmpty;
    std::function<int(const QString&)> m_slotOfUnit;
    int m_lastArmed = 0; // 0 before the first
    bool m_reworkAllowed;
    int m_unitsNeeded;
    bool m_inputEnded = false;
};

} // namespace qt2xx
