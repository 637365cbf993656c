#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace qt2xx {

// The units finished in one hour, from its start (UTC).
struct HourCount {
    QDateTime hour;
    int count = 0;
};

// The attempts that ended in one result word ("transmit-failure", ...).
struct KindCount {
    QString result;
    int count = 0;
};

// A serial of the order finished more than once, reworks aside: made at two benches while the
// plant's rules were not in force, so the plant had no say.
struct DuplicateSerial {
    QString serial;
    int finished = 0;     // its finished records
    QStringList stations; // where they were made, by name
    bool offline = false; // one of them at least was made offline
};

// The figures of a work order, or of one order and set within a period.
struct LotFigures {
    QString orderId;
    QString product;
    QString setFile;
    int quantity = 0; // units ordered; 0 when the order names none
    int unitsFinished = 0;
    int attemptsFailed = 0;
    double firstPassYield = 0; // units finished at their first attempt, over units tried
    QDateTime first;           // UTC; invalid when nothing was tried
    QDateTime last;
    QStringList stations;
    QStringList operators;
    QStringList parameters; // the set's 26 texts, in table order; empty when the lot ran several sets
    QString parameterSha256;
    QList<HourCount> finishedPerHour;
    QList<KindCount> failuresByKind;
    QList<DuplicateSerial> duplicates; // an order's, by serial; a period's report reads none
};

// One unit's line in the table: its last attempt and how many it took.
struct LotUnit {
    QString serial; // empty when the unit was not scanned: the unit number is shown instead
    int unit = 0;
    QString orderId;
    QString result;
    int attempts = 0;
    QDateTime time; // UTC
    QString station;
    QString device;
    QString operatorName;
};

// A period's figures for one order and set (units tried, units finished, attempts failed, and the
// units finished at their first attempt over the units tried), or for one station (its attempts).
struct GroupFigures {
    QString orderId;
    QString setFile;
    QString parameterSha256;
    QString station;
    int unitsTried = 0;
    int unitsFinished = 0; // a station's: its attempts that finished a unit
    int attemptsFailed = 0;
    int unitsFirstPass = 0;
    double firstPassYield = 0;
    int attempts = 0; // a station's attempts; a station's yield is its finished attempts over them
};

// The attempts that finished a unit and those that failed in one hour or one day, from its start (UTC).
struct TrendCount {
    QDateTime start;
    int finished = 0;
    int failed = 0;
};

// What a lot report shows. An order report shows the one lot in `total` and every unit. A period report
// (a shift, a month) shows the whole period in `total`, a table per order and set, per station and per
// hour (per day for a long period), and the units that never finished; every unit only when asked.
struct LotReport {
    enum class Kind { Order, Period };
    Kind kind = Kind::Order;
    QDateTime periodStart; // UTC; a period report's span
    QDateTime periodEnd;
    bool periodClosed = true; // false: a period asked without its end, shown to its last record
    LotFigures total;
    QList<GroupFigures> groups;   // per order and set, in the order each was first tried
    QList<GroupFigures> stations; // per station, by name
    bool dailyTrend = false;      // trend per day rather than per hour
    QList<TrendCount> trend;
    QList<LotUnit> unfinished;  // the first units whose last attempt failed, in the order they were tried
    qint64 unfinishedCount = 0; // all of them
    bool unitTable = true;      // a period report lists every unit only when asked
    QList<LotUnit> units;
};

} // namespace qt2xx
