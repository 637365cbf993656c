#pragma once

#include "station/OrderRun.h"
#include "station/Station.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace qt2xx::station {

// The live table on a terminal: one row per port and a totals line, redrawn in place at most ten
// times a second, and left on screen as the final table when the station stops.
class TableView : public QObject {
public:
    TableView(qt2xx::Station& station, std::FILE* out, bool colour);
    // Draws the final table, then the summary line.
    void finish(const QString& summary);
    // A line under the totals, e.g. why records cannot be written; empty removes it.
    void setNotice(const QString& notice);
    // How forwarding to the record server goes, shown at the end of the totals line.
    void setForwarding(const QString& state);
    // How the labels go ("labels: 3 waiting: ..."), after the forwarding on the totals line.
    void setLabels(const QString& state);
    // With an order or scans: each port's serial, the order's progress and the slot of the next scan.
    void setOrderRun(const qt2xx::OrderRun* run);
    // Why the fixture's I/O module does not answer, on a line of its own; empty removes it.
    void setFixture(const QString& state);
    // With an order the plant shares: its progress and the rules in force, at the end of the order
    // line ("plant 312 / 500, this bench 120; rules: plant").
    void setPlant(const QString& plant);
    // The last refused scan, shown under the slot of the next scan until the next scan.
    void setScanNote(const QString& note);

private:
    void schedule();
    void draw();
    QStringList rows() const;
    QString row(const qt2xx::StationPort& port, int deviceWidth) const;
    QString totals() const;
    QString orderLine() const;
    QString colour(const QString& text, int logColor) const;

    qt2xx::Station& m_station;
    std::FILE* m_out;
    bool m_colour;
    int m_width = 80;
    QString m_notice;
    QString m_forwarding;
    QString m_labels;
    const qt2xx::OrderRun* m_run = nullptr;
    QString m_plant;
    QString m_scanNote;
    QString m_fixture;
    int m_drawn = 0; // lines of the table now on screen
    QTimer m_throttle;
    QTimer m_clock; // the elapsed time and the rate move even when no port does
    QElapsedTimer m_sinceDraw;
};

// "finished 40, failed 0, 118.2/min, elapsed 00:20"
QString TotalsText(const qt2xx::Station& station);

} // namespace qt2xx::station
