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

// What a lot report shows. An order report shows the one lot in `total`; a period report (a shift)
// shows the whole period in `total` and each order and set it covered in `groups`.
struct LotReport {
    enum class Kind { Order, Period };
    Kind kind = Kind::Order;
    QDateTime periodStart; // UTC; a period report's span
    QDateTime periodEnd;
    LotFigures total;
    QList<LotFigures> groups;
    QList<LotUnit> units;
};

} // namespace qt2xx
