#pragma once

#include "platform/core/Result.h"
#include "record/ProductionRecord.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

namespace qt2xx {

// Where a label job stands: waiting for its printer, handed to a printer by one worker (which then
// marks it printed or gives it back), or printed. A job left sending by a worker that stopped
// mid-send is never sent again by itself: it may have printed, and a label is printed at most once.
enum class LabelState { Waiting, Sending, Printed };
QString LabelStateName(LabelState state);

// A label to print: the finished record it is for and its order's product.
struct LabelJob {
    qint64 job = 0;
    ProductionRecord record;
    QString product; // empty when the record names no order the database knows
};

// One print or reprint of a unit's label.
struct LabelPrint {
    QString recordId;
    QDateTime printedAt; // UTC
    QString printer;     // the printer's address as given
    QString operatorId;  // who printed it: the record's operator, or whoever asked for the reprint
    QString station;
    bool reprint = false;
};

// The label queue and the log of prints in the record database, at the schema version that keeps
// labels or later. Works on the connection it is given, on that connection's thread.
class LabelQueue {
public:
    explicit LabelQueue(QSqlDatabase db) : m_db(std::move(db)) {}

    // Queues the label of a record just written, inside the caller's transaction; a record queued
    // already keeps its job.
    Done add(const QString& recordId, const QString& printer);
    // Takes the oldest waiting job of the printer and marks it sending by claimer; none when nothing
    // waits.
    Result<std::optional<LabelJob>> claimOldest(const QString& printer, const QString& claimer);
    // Gives a job that could not be sent back to the front of the queue, with the reason.
    Done release(qint64 job, const QString& reason);
    // Marks the job printed and logs the print, in one transaction.
    Done markPrinted(const LabelJob& job, const QString& printer, const QDateTime& at);
    // Jobs of the printer in the given state.
    Result<qint64> count(const QString& printer, LabelState state);
    // The same for every printer.
    Result<qint64> count(LabelState state);

    Done logPrint(const LabelPrint& print);
    // Every print of the record, oldest first.
    Result<std::vector<LabelPrint>> prints(const QString& recordId);
    // The latest finished record of the unit, of that order when one is named, with its product.
    Result<std::optional<LabelJob>> latestFinished(const QString& serial, const QString& order);

private:
    QSqlDatabase m_db;
};

} // namespace qt2xx
