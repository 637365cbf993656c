#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

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

// Draws the report as an A4 PDF at `path`. The file is written whole or not at all: on failure
// nothing is left at `path` that was not there before, and `error` names the path and the reason.
// Needs a QGuiApplication (the offscreen platform does).
bool WriteLotReportPdf(const LotReport& report, const QString& path, QString* error);

// Hands each unit of the table to `unit`, in order; false, with the reason, when they cannot be read.
using LotUnitReader = std::function<bool(const std::function<void(const LotUnit&)>& unit, QString* error)>;
// The same with the units read as their pages are drawn rather than held in report.units, so that
// memory stays flat for a period of many units. unitCount is how many `units` will hand over.
bool WriteLotReportPdf(const LotReport& report, qsizetype unitCount, const LotUnitReader& units,
                       const QString& path, QString* error);

} // namespace qt2xx
