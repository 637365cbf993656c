#include "record/RecordStore.h"

#include "record/LabelQueue.h"
#include "record/SqlResult.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QTimeZone>
#include <QUrl>
#include <QVariant>

#include <atomic>

namespace qt2xx {

namespace {

// How long a write waits for another program's transaction before it counts as failed.
constexpr int kBusyTimeoutMs = 5000;

QString connectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("qt2xx-record-%1").arg(counter.fetch_add(1));
}

Done execPrepared(QSqlQuery& q) {
    if (!q.exec())
        return SqlFailure(q.lastError());
    return {};
}

// Stores the row unless a row with the same key is kept already, which then stays as it was.
template <typename Row>
Done insertUnlessKept(QSqlDatabase& db, const char* table, const char* key, const Row& row) {
    QSqlQuery q(db);
    q.prepare(record_schema::InsertInto<Row>(table) +
              QStringLiteral(" ON CONFLICT(%1) DO NOTHING").arg(QLatin1String(key)));
    record_schema::BindAll(q, row);
    return execPrepared(q);
}

// The row whose key has this value; empty when none has.
template <typename Row>
Result<std::optional<Row>> findByKey(const QSqlDatabase& db, const char* table, const char* key,
                                     const QString& value) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                  .arg(record_schema::NameList<Row>(), QLatin1String(table), QLatin1String(key)));
    q.addBindValue(value);
    if (!q.exec())
        return SqlFailure(q.lastError());
    if (!q.next())
        return std::optional<Row>();
    Row row;
    QString why;
    if (!record_schema::ReadAll(q, 0, &row, &why))
        return Fail(why);
    return std::optional(row);
}

// The version and whether the file holds any table, read at one moment: read apart, another
// program could create the tables in between and this file would look like another kind.
bool readState(QSqlQuery& q, int* version, bool* hasTables) {
    if (!q.exec(QStringLiteral("SELECT (SELECT user_version FROM pragma_user_version),"
                               " (SELECT count(*) FROM sqlite_master)")) ||
        !q.next())
        return false;
    *version = q.value(0).toInt();
    *hasTables = q.value(1).toInt() > 0;
    q.finish();
    return true;
}

// Switching to the write-ahead log needs a moment when no other program holds the file, and the
// busy timeout does not wait for that moment: try again for as long.
bool useWriteAheadLog(QSqlQuery& q) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && q.next()) {
            const bool wal = q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
            q.finish();
            return wal;
        }
        if (clock.elapsed() >= kBusyTimeoutMs)
            return false;
        QThread::msleep(20);
    }
}

} // namespace

QString DefaultRecordDatabase() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("qt2xx/records.sqlite"));
}

RecordStore::RecordStore(QString path, QString connection)
    : m_path(std::move(path)), m_connection(std::move(connection)) {}

RecordStore::~RecordStore() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

Result<std::unique_ptr<RecordStore>> RecordStore::open(const QString& path, OpenMode mode) {
    const QFileInfo info(path);
    if (info.isDir())
        return Fail(QStringLiteral("%1 is a folder").arg(path));
    if (!info.exists()) {
        if (mode != OpenMode::Create)
            return Fail(QStringLiteral("%1 does not exist").arg(path));
        if (!QDir().mkpath(info.absolutePath()))
            return Fail(QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Fail(QStringLiteral("the Qt SQLite driver is not installed (libqt6sql6-sqlite)"));
    std::unique_ptr<RecordStore> store(new RecordStore(path, connectionName()));
    store->m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), store->m_connection);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    if (mode == OpenMode::ReadOnly && !QFileInfo(info.absolutePath()).isWritable()) {
        // A reader of a write-ahead-log file needs its shared-memory file beside it; where none can
        // be made, the file is read as it stands, which is all a copy to read holds.
        QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
        url.setQuery(QStringLiteral("immutable=1"));
        store->m_db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        options += QStringLiteral(";QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY");
    } else {
        store->m_db.setDatabaseName(path);
        if (mode == OpenMode::ReadOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    }
    store->m_db.setConnectOptions(options);
    if (!store->m_db.open())
        return SqlFailure(store->m_db.lastError());
    if (const Done ready = mode == OpenMode::ReadOnly ? store->check() : store->prepare(); !ready)
        return Fail(ready.error());
    return store;
}

Done RecordStore::check() {
    QSqlQuery q(m_db);
    bool hasTables = false;
    if (!readState(q, &m_version, &hasTables))
        return Fail(QStringLiteral("%1 is not a record database (%2)").arg(m_path, q.lastError().text()));
    if (m_version > kSchemaVersion)
        return Fail(QStringLiteral("%1 was written by a newer program (schema %2, this program knows %3)")
                        .arg(m_path)
                        .arg(m_version)
                        .arg(kSchemaVersion));
    if (m_version == 0)
        return Fail(hasTables ? QStringLiteral("%1 is a database of another kind").arg(m_path)
                              : QStringLiteral("%1 is not a record database").arg(m_path));
    return {};
}

Done RecordStore::prepare() {
    QSqlQuery q(m_db);
    bool hasTables = false;
    // Read before anything is set: a file that is no database or is newer is left as it is.
    if (!readState(q, &m_version, &hasTables))
        return Fail(QStringLiteral("%1 is not a record database (%2)").arg(m_path, q.lastError().text()));
    if (m_version > kSchemaVersion || (m_version == 0 && hasTables))
        return check();
    if (!useWriteAheadLog(q))
        return Fail(QStringLiteral("%1 cannot keep a write-ahead log").arg(m_path));
    if (!q.exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return SqlFailure(q.lastError());
    if (m_version == kSchemaVersion)
        return {};

    // Another program may be migrating the same file: take the write lock, then read again.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return SqlFailure(q.lastError());
    bool ok = readState(q, &m_version, &hasTables);
    if (ok && (m_version > kSchemaVersion || (m_version == 0 && hasTables))) {
        q.exec(QStringLiteral("ROLLBACK"));
        return check();
    }
    const std::span<const record_schema::MigrationStep> steps = record_schema::LocalMigrationSteps();
    for (int step = m_version; ok && step < kSchemaVersion; ++step)
        ok = steps[size_t(step)](q) && q.exec(QStringLiteral("PRAGMA user_version = %1").arg(step + 1));
    if (!ok) {
        const Failure failure = SqlFailure(q.lastError());
        q.exec(QStringLiteral("ROLLBACK"));
        return failure;
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        return SqlFailure(q.lastError());
    m_version = kSchemaVersion;
    return {};
}

Done RecordStore::beginRun(const RunInfo& run) {
    return insertUnlessKept(m_db, record_schema::kRuns, record_schema::kRunId, run);
}

Done RecordStore::endRun(const QString& runId, const QDateTime& stoppedAt) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                  .arg(record_schema::kRuns, record_schema::kStoppedAt, record_schema::kRunId));
    q.addBindValue(UtcTimeText(stoppedAt));
    q.addBindValue(runId);
    return execPrepared(q);
}

Done RecordStore::append(const ProductionRecord& record) {
    return insertUnlessKept(m_db, record_schema::kRecords, record_schema::kRecordId, record);
}

Done RecordStore::appendWithLabel(const ProductionRecord& record, const QString& printer) {
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return SqlFailure(q.lastError());
    Done done = append(record);
    if (done && record.result == Outcome::Finished)
        done = LabelQueue(m_db).add(record.recordId, printer);
    if (done && !q.exec(QStringLiteral("COMMIT")))
        done = SqlFailure(q.lastError());
    if (!done)
        q.exec(QStringLiteral("ROLLBACK"));
    return done;
}

Result<std::vector<ProductionRecord>> RecordStore::records(const RecordFilter& filter) const {
    std::vector<ProductionRecord> out;
    const Done read = source().forEachRecord(filter, false, [&](const QSqlQuery& q) -> Done {
        ProductionRecord r;
        QString why;
        if (!record_schema::ReadAll(q, 0, &r, &why))
            return Fail(why);
        out.push_back(std::move(r));
        return {};
    });
    if (!read)
        return Fail(read.error());
    return out;
}

Done RecordStore::noteOrder(const OrderInfo& order) {
    return insertUnlessKept(m_db, record_schema::kOrders, record_schema::kWorkOrder, order);
}

Result<std::optional<OrderInfo>> RecordStore::order(const QString& id) const {
    if (m_version < record_schema::kLocalOrdersVersion)
        return std::optional<OrderInfo>();
    return findByKey<OrderInfo>(m_db, record_schema::kOrders, record_schema::kWorkOrder, id);
}

Result<qint64> RecordStore::unitsFinished(const QString& order) const {
    using namespace record_schema;
    if (m_version < kLocalOrdersVersion)
        return qint64(0);
    QSqlQuery q(m_db);
    // A unit with a serial counts once however often it was finished (a rework); units without
    // serials are told apart by nothing else than their records.
    q.prepare(QStringLiteral("SELECT count(DISTINCT CASE WHEN %1 <> '' THEN %1 END) + "
                             "count(CASE WHEN %1 = '' THEN 1 END) FROM %2 WHERE %3 = ? AND %4 = ?")
                  .arg(kUnitSerial, kRecords, kWorkOrder, kResult));
    q.addBindValue(order);
    q.addBindValue(ResultName(Outcome::Finished));
    if (!q.exec() || !q.next())
        return SqlFailure(q.lastError());
    return q.value(0).toLongLong();
}

Result<bool> RecordStore::serialFinished(const QString& serial) const {
    using namespace record_schema;
    if (m_version < kLocalOrdersVersion)
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND %3 = ? LIMIT 1")
                  .arg(kRecords, kUnitSerial, kResult));
    q.addBindValue(serial);
    q.addBindValue(ResultName(Outcome::Finished));
    if (!q.exec())
        return SqlFailure(q.lastError());
    return q.next();
}

Result<std::optional<RunInfo>> RecordStore::run(const QString& runId) const {
    return findByKey<RunInfo>(m_db, record_schema::kRuns, record_schema::kRunId, runId);
}

} // namespace qt2xx
