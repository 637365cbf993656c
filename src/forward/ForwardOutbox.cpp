#include "forward/ForwardOutbox.h"

#include "platform/core/UtcTime.h"

#include "record/RecordSchema.h"
#include "record/SqlResult.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>

namespace qt2xx {

namespace {

constexpr int kBusyTimeoutMs = 5000;

QString nowText() {
    return UtcTimeText(QDateTime::currentDateTimeUtc());
}

QDateTime timeOf(const QVariant& value) {
    return value.isNull() ? QDateTime() : ParseUtcTime(value.toString());
}

} // namespace

Result<std::vector<ForwardStatus>> readForwardStatus(QSqlDatabase& db) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const bool ok = query.exec(
        QStringLiteral(
            "SELECT c.server, (SELECT count(*) FROM %1 r WHERE r.%2 > c.last_seq), "
            "(SELECT r.%3 FROM %1 r WHERE r.%2 > c.last_seq ORDER BY r.%2 LIMIT 1), "
            "c.last_error, c.last_error_at, c.last_sent_at FROM forward_cursor c ORDER BY c.server")
            .arg(record_schema::kRecords, record_schema::kSeq, record_schema::kRecordedAt));
    if (!ok)
        return SqlFailure(query.lastError());
    std::vector<ForwardStatus> out;
    while (query.next()) {
        ForwardStatus status;
        status.server = query.value(0).toString();
        status.waiting = query.value(1).toLongLong();
        status.oldestWaiting = timeOf(query.value(2));
        status.lastError = query.value(3).toString();
        status.lastErrorAt = timeOf(query.value(4));
        status.lastSentAt = timeOf(query.value(5));
        out.push_back(status);
    }
    return out;
}

ForwardOutbox::ForwardOutbox(QString databasePath, QString server)
    : m_path(std::move(databasePath)), m_server(std::move(server)),
      m_connection(QStringLiteral("forward-outbox-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

ForwardOutbox::~ForwardOutbox() {
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool ForwardOutbox::isOpen() const {
    return QSqlDatabase::contains(m_connection) && QSqlDatabase::database(m_connection, false).isOpen();
}

Result<ForwardOutbox::Opened> ForwardOutbox::open() {
    // The writer makes and migrates the database; forwarding alone never creates an empty one.
    if (!QFileInfo(m_path).isFile())
        return Opened::NotYet;
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? QSqlDatabase::database(m_connection, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return SqlFailure(db.lastError());
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        const Failure failure = SqlFailure(query.lastError());
        db.close();
        return failure;
    }
    const int version = query.value(0).toInt();
    // A statement left open keeps a read snapshot, and the write below would then be refused.
    query.finish();
    // It reads every column this program knows: the writer brings the file to this version first.
    if (version < record_schema::kLocalVersion) {
        db.close();
        return Opened::NotYet;
    }
    const Done cursor =
        exec(QStringLiteral("INSERT OR IGNORE INTO forward_cursor(server) VALUES (?)"), {m_server});
    if (cursor)
        return Opened::Yes;
    db.close();
    return Fail(cursor.error());
}

Result<std::vector<ForwardOutbox::Run>> ForwardOutbox::changedRuns() {
    using namespace record_schema;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT %1 FROM %2 r LEFT JOIN forward_runs f ON f.server = ? AND f.%3 = r.%3 "
                       "WHERE f.%3 IS NULL OR f.%4 IS NOT r.%4 ORDER BY r.rowid")
            .arg(NameList<RunInfo>(QStringLiteral("r.")), kRuns, kRunId, kStoppedAt));
    query.addBindValue(m_server);
    if (!query.exec())
        return SqlFailure(query.lastError());
    std::vector<Run> out;
    QString why;
    while (query.next()) {
        Run run;
        if (!ReadAll(query, 0, &run, &why))
            return Fail(why);
        out.push_back(std::move(run));
    }
    return out;
}

Result<std::vector<ForwardOutbox::Record>> ForwardOutbox::nextRecords(int limit) {
    using namespace record_schema;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    // A record whose run row is missing still goes, with this bench's host name.
    query.prepare(
        QStringLiteral("SELECT r.%1, coalesce(u.%2, ?), %3 FROM %4 r LEFT JOIN %5 u ON u.%6 = r.%6 "
                       "WHERE r.%1 > (SELECT last_seq FROM forward_cursor WHERE server = ?) "
                       "ORDER BY r.%1 LIMIT ?")
            .arg(kSeq, kHost, NameList<ProductionRecord>(QStringLiteral("r.")), kRecords, kRuns, kRunId));
    query.addBindValue(QSysInfo::machineHostName());
    query.addBindValue(m_server);
    query.addBindValue(limit);
    if (!query.exec())
        return SqlFailure(query.lastError());
    std::vector<Record> out;
    QString why;
    while (query.next()) {
        Record record;
        record.seq = query.value(0).toLongLong();
        record.host = query.value(1).toString();
        if (!ReadAll(query, 2, &record.record, &why))
            return Fail(why);
        out.push_back(std::move(record));
    }
    return out;
}

Result<std::vector<OrderInfo>> ForwardOutbox::ordersOf(const std::vector<Record>& records) {
    using namespace record_schema;
    QSet<QString> names;
    for (const Record& record : records)
        if (!record.record.orderId.isEmpty())
            names.insert(record.record.orderId);
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(NameList<OrderInfo>(), kOrders, kWorkOrder));
    std::vector<OrderInfo> out;
    QString why;
    for (const QString& name : names) {
        query.addBindValue(name);
        if (!query.exec())
            return SqlFailure(query.lastError());
        OrderInfo order;
        // A record may name an order its writer did not keep; the server then knows it by its records.
        if (query.next() && ReadAll(query, 0, &order, &why))
            out.push_back(order);
        query.finish();
    }
    return out;
}

Done ForwardOutbox::acknowledge(const std::vector<Run>& runs, qint64 lastSeq) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return SqlFailure(db.lastError());
    Done steps;
    for (auto run = runs.cbegin(); steps && run != runs.cend(); ++run)
        steps = exec(QStringLiteral("INSERT OR REPLACE INTO forward_runs(server, %1, %2) VALUES (?, ?, ?)")
                         .arg(record_schema::kRunId, record_schema::kStoppedAt),
                     {m_server, run->runId,
                      run->stoppedAt.isValid() ? QVariant(UtcTimeText(run->stoppedAt))
                                               : QVariant(QMetaType::fromType<QString>())});
    // max(): another program forwarding from the same database may have gone further already.
    if (steps)
        steps =
            exec(QStringLiteral("UPDATE forward_cursor SET last_seq = max(last_seq, ?), last_sent_at = ?, "
                                "last_error = NULL, last_error_at = NULL WHERE server = ?"),
                 {lastSeq, nowText(), m_server});
    return EndTransaction(db, steps);
}

Result<qint64> ForwardOutbox::waitingCount() {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 > (SELECT last_seq FROM forward_cursor "
                                 "WHERE server = ?)")
                      .arg(record_schema::kRecords, record_schema::kSeq));
    query.addBindValue(m_server);
    if (!query.exec() || !query.next())
        return SqlFailure(query.lastError());
    return query.value(0).toLongLong();
}

Done ForwardOutbox::noteFailure(const QString& reason) {
    return exec(
        QStringLiteral("UPDATE forward_cursor SET last_error = ?, last_error_at = ? WHERE server = ?"),
        {reason, nowText(), m_server});
}

Done ForwardOutbox::exec(const QString& sql, const QVariantList& values) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return SqlFailure(query.lastError());
    return {};
}

} // namespace qt2xx
