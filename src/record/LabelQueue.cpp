#include "record/LabelQueue.h"

#include "platform/core/UtcTime.h"
#include "record/RecordSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace qt2xx {

using namespace record_schema;

namespace {

Failure failed(const QSqlQuery& q) {
    return Fail(q.lastError().text().trimmed());
}

// The job's columns, then its product, then the record's columns from the third value on.
QString jobSelect(const QString& where) {
    return QStringLiteral("SELECT j.%1, coalesce(o.%2, ''), %3 FROM %4 j JOIN %5 r ON r.%6 = j.%6 "
                          "LEFT JOIN %7 o ON o.%8 = r.%8 WHERE %9 ORDER BY j.%1 LIMIT 1")
        .arg(kJob, kProduct, NameList<ProductionRecord>(QStringLiteral("r.")), kLabelJobs, kRecords,
             kRecordId, kOrders, kWorkOrder, where);
}

Result<std::optional<LabelJob>> readJob(QSqlQuery& q, int jobColumn) {
    if (!q.next())
        return std::optional<LabelJob>();
    LabelJob job;
    QString error;
    if (jobColumn >= 0)
        job.job = q.value(jobColumn).toLongLong();
    job.product = q.value(1).toString();
    if (!ReadAll(q, 2, &job.record, &error))
        return Fail(error);
    return std::optional<LabelJob>(std::move(job));
}

// Runs steps between BEGIN IMMEDIATE and COMMIT, rolling back when a step fails.
template <typename Steps> Done inTransaction(QSqlDatabase& db, Steps steps) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failed(q);
    Done done = steps();
    if (done && !q.exec(QStringLiteral("COMMIT")))
        done = failed(q);
    if (!done)
        q.exec(QStringLiteral("ROLLBACK"));
    return done;
}

} // namespace

QString LabelStateName(LabelState state) {
    switch (state) {
    case LabelState::Waiting:
        return QStringLiteral("waiting");
    case LabelState::Sending:
        return QStringLiteral("sending");
    case LabelState::Printed:
        return QStringLiteral("printed");
    }
    return {};
}

Done LabelQueue::add(const QString& recordId, const QString& printer) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO %1(%2, %3, %4, %5) VALUES(?, ?, ?, ?) ON CONFLICT(%2) DO NOTHING")
                  .arg(kLabelJobs, kRecordId, kPrinter, kLabelState, kQueuedAt));
    q.addBindValue(recordId);
    q.addBindValue(printer);
    q.addBindValue(LabelStateName(LabelState::Waiting));
    q.addBindValue(UtcTimeText(QDateTime::currentDateTimeUtc()));
    if (!q.exec())
        return failed(q);
    return {};
}

Result<std::optional<LabelJob>> LabelQueue::claimOldest(const QString& printer, const QString& claimer) {
    std::optional<LabelJob> claimed;
    const Done done = inTransaction(m_db, [&]() -> Done {
        QSqlQuery q(m_db);
        q.prepare(jobSelect(QStringLiteral("j.%1 = ? AND j.%2 = ?").arg(kLabelState, kPrinter)));
        q.addBindValue(LabelStateName(LabelState::Waiting));
        q.addBindValue(printer);
        if (!q.exec())
            return failed(q);
        Result<std::optional<LabelJob>> job = readJob(q, 0);
        q.finish();
        if (!job)
            return Fail(job.error());
        if (!job->has_value())
            return {};
        QSqlQuery mark(m_db);
        mark.prepare(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = %4 + 1 WHERE %5 = ?")
                         .arg(kLabelJobs, kLabelState, kClaimedBy, kAttempts, kJob));
        mark.addBindValue(LabelStateName(LabelState::Sending));
        mark.addBindValue(claimer);
        mark.addBindValue((*job)->job);
        if (!mark.exec())
            return failed(mark);
        claimed = std::move(*job);
        return {};
    });
    if (!done)
        return Fail(done.error());
    return claimed;
}

Done LabelQueue::release(qint64 job, const QString& reason) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = NULL, %4 = ? WHERE %5 = ?")
                  .arg(kLabelJobs, kLabelState, kClaimedBy, kLastError, kJob));
    q.addBindValue(LabelStateName(LabelState::Waiting));
    q.addBindValue(reason);
    q.addBindValue(job);
    if (!q.exec())
        return failed(q);
    return {};
}

Done LabelQueue::markPrinted(const LabelJob& job, const QString& printer, const QDateTime& at) {
    return inTransaction(m_db, [&]() -> Done {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = NULL WHERE %5 = ?")
                      .arg(kLabelJobs, kLabelState, kPrintedAt, kLastError, kJob));
        q.addBindValue(LabelStateName(LabelState::Printed));
        q.addBindValue(UtcTimeText(at));
        q.addBindValue(job.job);
        if (!q.exec())
            return failed(q);
        return logPrint({job.record.recordId, at, printer, job.record.operatorId, job.record.station, false});
    });
}

Result<qint64> LabelQueue::count(const QString& printer, LabelState state) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? AND %3 = ?")
                  .arg(kLabelJobs, kLabelState, kPrinter));
    q.addBindValue(LabelStateName(state));
    q.addBindValue(printer);
    if (!q.exec() || !q.next())
        return failed(q);
    return q.value(0).toLongLong();
}

Result<qint64> LabelQueue::count(LabelState state) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(kLabelJobs, kLabelState));
    q.addBindValue(LabelStateName(state));
    if (!q.exec() || !q.next())
        return failed(q);
    return q.value(0).toLongLong();
}

Done LabelQueue::logPrint(const LabelPrint& print) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO %1(%2, %3, %4, %5, %6, %7) VALUES(?, ?, ?, ?, ?, ?)")
                  .arg(kLabelPrints, kRecordId, kPrintedAt, kPrinter, kOperator, kStation, kReprint));
    q.addBindValue(print.recordId);
    q.addBindValue(UtcTimeText(print.printedAt));
    q.addBindValue(print.printer);
    q.addBindValue(print.operatorId.isNull() ? QStringLiteral("") : print.operatorId);
    q.addBindValue(print.station.isNull() ? QStringLiteral("") : print.station);
    q.addBindValue(print.reprint ? 1 : 0);
    if (!q.exec())
        return failed(q);
    return {};
}

Result<std::vector<LabelPrint>> LabelQueue::prints(const QString& recordId) {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1, %2, %3, %4, %5, %6 FROM %7 WHERE %1 = ? ORDER BY print")
                  .arg(kRecordId, kPrintedAt, kPrinter, kOperator, kStation, kReprint, kLabelPrints));
    q.addBindValue(recordId);
    if (!q.exec())
        return failed(q);
    std::vector<LabelPrint> out;
    while (q.next())
        out.push_back({q.value(0).toString(), ParseUtcTime(q.value(1).toString()), q.value(2).toString(),
                       q.value(3).toString(), q.value(4).toString(), q.value(5).toInt() != 0});
    return out;
}

Result<std::optional<LabelJob>> LabelQueue::latestFinished(const QString& serial, const QString& order) {
    QSqlQuery q(m_db);
    QString select =
        QStringLiteral("SELECT 0, coalesce(o.%1, ''), %2 FROM %3 r LEFT JOIN %4 o ON o.%5 = r.%5 "
                       "WHERE r.%6 = ? AND r.%7 = ?")
            .arg(kProduct, NameList<ProductionRecord>(QStringLiteral("r.")), kRecords, kOrders, kWorkOrder,
                 kUnitSerial, kResult);
    if (!order.isEmpty())
        select += QStringLiteral(" AND r.%1 = ?").arg(kWorkOrder);
    q.prepare(select + QStringLiteral(" ORDER BY r.%1 DESC LIMIT 1").arg(kSeq));
    q.addBindValue(serial);
    q.addBindValue(ResultName(Outcome::Finished));
    if (!order.isEmpty())
        q.addBindValue(order);
    if (!q.exec())
        return failed(q);
    return readJob(q, -1);
}

} // namespace qt2xx
