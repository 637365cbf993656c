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

    friend bool operator==(const SlotView&, const SlotView&) = default;
};

// One slot of the fixture: its number and device, its state in words and colour, the unit's serial
// and the slot's counts, large enough to read from a distance.
class SlotTile : public QFrame {
    Q_OBJECT
public:
    explicit SlotTile(QWidget* parent = nullptr);

    void showView(const SlotView& view);
    const SlotView& view() const { return m_view; }
    QString stateText() const;

    static QString stateWord(SlotState state);

private:
    SlotView m_view;
    bool m_shown = false;
    QLabel* m_title;
    QLabel* m_state;
    QProgressBar* m_progress;
    QLabel* m_failure;
    QLabel* m_serial;
    QLabel* m_counts;
};

} // namespace qt2xx::gang
