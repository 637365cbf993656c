#pragma once

#include "station/PortPhase.h"

#include <QFrame>

class QLabel;
class QProgressBar;

namespace qt2xx::gang {

// What a slot is doing, as its tile says it: its port's phase.
using SlotState = qt2xx::PortPhase;

// Everything a tile shows; the tile repaints only when this changes.
struct SlotView {
    int slot = 0; // from 1
    QString device;
    SlotState state = SlotState::Stopped;
    int percent = 0;  // while programming
    QString failure;  // the failure's text, when failed or not open
    QString serial;   // the unit's serial; empty when the set programs any unit
    int finished = 0; // the slot's counts
    int failed = 0;
    bool nextScan = false; // the next scan arms this slot
    // How long the unit has taken, in tenths of a second: so far while it is programmed, in all once
    // it ended; -1 before the first unit of the slot.
    int elapsedTenths = -1;

    friend bool operator==(const SlotView&, const SlotView&) = default;
};

// One slot of the fixture: its number and device, its state in words and colour, the unit's serial,
// how long it took and the slot's counts, large enough to read from two metres. The whole tile takes
// the state's colour, and its print grows with the tile, from sixteen slots on a screen to one.
class SlotTile : public QFrame {
    Q_OBJECT
public:
    explicit SlotTile(QWidget* parent = nullptr);

    void showView(const SlotView& view);
    const SlotView& view() const { return m_view; }
    QString stateText() const;
    // "12.3 s so far" while programming, "Took 12.3 s" once ended; empty without a unit.
    QString elapsedText() const;

    static QString stateWord(SlotState state);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void paintState();
    void fitFonts();

    SlotView m_view;
    bool m_shown = false;
    QLabel* m_title;
    QLabel* m_state;
    QLabel* m_elapsed;
    QProgressBar* m_progress;
    QLabel* m_failure;
    QLabel* m_serial;
    QLabel* m_counts;
};

} // namespace qt2xx::gang
