#include "record/RecordStore.h"

#include "record/ForwardOutbox.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimeZone>
#include <QVariant>

#include <atomic>

namespace qt2xx {

namespace {

// How long a write waits for another program's transaction before it counts as failed.
constexpr int kBusyTimeoutMs = 5000;

// One function per schema step: entry i takes version i to version i + 1.
using MigrationStep = bool (*)(QSqlQuery&);

bool createVersion1(QSqlQuery& q) {
    return q.exec(QStringLiteral(
               "CREATE TABLE runs(run_id TEXT PRIMARY KEY, started_at TEXT NOT NULL, stopped_at TEXT,"
               " device TEXT NOT NULL, program TEXT NOT NULL, host TEXT NOT NULL,"
               " parameters TEXT NOT NULL)")) &&
           q.exec(QStringLiteral(
               "CREATE TABLE records(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
               " record_id TEXT NOT NULL UNIQUE, recorded_at TEXT NOT NULL, run_id TEXT NOT NULL,"
               " unit INTEGER NOT NULL, device TEXT NOT NULL, result TEXT NOT NULL, frame TEXT NOT NULL,"
               " parameter_sha256 TEXT NOT NULL, parameter_file TEXT NOT NULL, program TEXT NOT NULL)")) &&
           q.exec(QStringLiteral("CREATE INDEX records_recorded_at ON records(recorded_at)"));
}

constexpr MigrationStep kMigrationSteps[] = {createVersion1, addForwardingTables};
static_assert(std::size(kMigrationSteps) == RecordStore::kSchemaVersion);

QString connectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("qt2xx-record-%1").arg(counter.fetch_add(1));
}

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

bool failQuery(QString* error, const QSqlQuery& q) {
    return fail(error, q.lastError().text());
}

std::optional<int> userVersion(QSqlQuery& q) {
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

// A text that SQL reads as NULL.
const QVariant kNullText{QMetaType::fromType<QString>()};

// Qt binds a null QString as SQL NULL; a text column that must not be NULL gets the empty text.
QString text(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

QVariant timeOrNull(const QDateTime& time) {
    return time.isValid() ? QVariant(UtcTimeText(time)) : kNullText;
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

std::unique_ptr<RecordStore> RecordStore::open(const QString& path, QString* error, OpenMode mode) {
    const QFileInfo info(path);
    if (info.isDir()) {
        fail(error, QStringLiteral("%1 is a folder").arg(path));
        return nullptr;
    }
    if (!info.exists()) {
        if (mode == OpenMode::MustExist) {
            fail(error, QStringLiteral("%1 does not exist").arg(path));
            return nullptr;
        }
        if (!QDir().mkpath(info.absolutePath())) {
            fail(error, QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
            return nullptr;
        }
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        fail(error, QStringLiteral("the Qt SQLite driver is not installed (libqt6sql6-sqlite)"));
        return nullptr;
    }
    std::unique_ptr<RecordStore> store(new RecordStore(path, connectionName()));
    store->m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), store->m_connection);
    store->m_db.setDatabaseName(path);
    store->m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!store->m_db.open()) {
        fail(error, store->m_db.lastError().text());
        return nullptr;
    }
    if (!store->prepare(error))
        return nullptr;
    return store;
}

bool RecordStore::prepare(QString* error) {
    QSqlQuery q(m_db);
    // Read before anything is set: a file that is no database or is newer is left as it is.
    const std::optional<int> version = userVersion(q);
    if (!version)
        return fail(error,
                    QStringLiteral("%1 is not a record database (%2)").arg(m_path, q.lastError().text()));
    if (*version > kSchemaVersion)
        return fail(error,
                    QStringLiteral("%1 was written by a newer program (schema %2, this program knows %3)")
                        .arg(m_path)
                        .arg(*version)
                        .arg(kSchemaVersion));
    if (*version == 0) {
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
            return failQuery(error, q);
        if (q.value(0).toInt() > 0)
            return fail(error, QStringLiteral("%1 is a database of another kind").arg(m_path));
    }
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !q.next())
        return failQuery(error, q);
    if (q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return fail(error, QStringLiteral("%1 cannot keep a write-ahead log").arg(m_path));
    if (!q.exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return failQuery(error, q);
    if (*version == kSchemaVersion)
        return true;

    // Another program may be migrating the same file: take the write lock, then read again.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failQuery(error, q);
    std::optional<int> now = userVersion(q);
    bool ok = now.has_value();
    for (int step = now.value_or(0); ok && step < kSchemaVersion; ++step)
        ok = kMigrationSteps[step](q) && q.exec(QStringLiteral("PRAGMA user_version = %1").arg(step + 1));
    if (!ok) {
        const QString reason = q.lastError().text();
        q.exec(QStringLiteral("ROLLBACK"));
        return fail(error, reason);
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        return failQuery(error, q);
    return true;
}

bool RecordStore::beginRun(const RunInfo& run, QString* error) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO runs(run_id, started_at, stopped_at, device, program, host,"
                             " parameters) VALUES(?, ?, ?, ?, ?, ?, ?) ON CONFLICT(run_id) DO NOTHING"));
    q.addBindValue(text(run.runId));
    q.addBindValue(UtcTimeText(run.startedAt));
    q.addBindValue(timeOrNull(run.stoppedAt));
    q.addBindValue(text(run.device));
    q.addBindValue(text(run.program));
    q.addBindValue(text(run.host));
    q.addBindValue(QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(run.parameters)).toJson(QJsonDocument::Compact)));
    return q.exec() || failQuery(error, q);
}

bool RecordStore::endRun(const QString& runId, const QDateTime& stoppedAt, QString* error) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE runs SET stopped_at = ? WHERE run_id = ?"));
    q.addBindValue(UtcTimeText(stoppedAt));
    q.addBindValue(runId);
    return q.exec() || failQuery(error, q);
}

bool RecordStore::append(const ProductionRecord& record, QString* error) {
    QSqlQuery q(m_db);
    q.prepare(
        QStringLiteral("INSERT INTO records(record_id, recorded_at, run_id, unit, device, result, frame,"
                       " parameter_sha256, parameter_file, program) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                       " ON CONFLICT(record_id) DO NOTHING"));
    q.addBindValue(text(record.recordId));
    q.addBindValue(UtcTimeText(record.recordedAt));
    q.addBindValue(text(record.runId));
    q.addBindValue(record.unit);
    q.addBindValue(text(record.device));
    q.addBindValue(ResultName(record.result));
    q.addBindValue(text(FrameHex(record.frame)));
    q.addBindValue(text(record.parameterSha256));
    q.addBindValue(text(record.parameterFile));
    q.addBindValue(text(record.program));
    return q.exec() || failQuery(error, q);
}

std::vector<ProductionRecord> RecordStore::records(const RecordFilter& filter, QString* error) const {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT record_id, recorded_at, run_id, unit, device, result, frame, parameter_sha256,"
                       " parameter_file, program FROM records WHERE (? IS NULL OR recorded_at >= ?)"
                       " AND (? IS NULL OR recorded_at < ?) AND (? IS NULL OR result = ?) ORDER BY seq"));
    // Each bound twice: once to tell whether the side is open, once to compare.
    for (const QVariant& value : {timeOrNull(filter.since), timeOrNull(filter.until),
                                  filter.result ? QVariant(ResultName(*filter.result)) : kNullText}) {
        q.addBindValue(value);
        q.addBindValue(value);
    }
    std::vector<ProductionRecord> out;
    if (!q.exec()) {
        failQuery(error, q);
        return out;
    }
    while (q.next()) {
        ProductionRecord r;
        r.recordId = q.value(0).toString();
        r.recordedAt = ParseUtcTime(q.value(1).toString());
        r.runId = q.value(2).toString();
        r.unit = q.value(3).toInt();
        r.device = q.value(4).toString();
        const std::optional<Outcome> result = OutcomeFromResultName(q.value(5).toString());
        if (!result) {
            fail(error, QStringLiteral("record %1 has the unknown result \"%2\"")
                            .arg(r.recordId, q.value(5).toString()));
            return {};
        }
        r.result = *result;
        r.frame = QByteArray::fromHex(q.value(6).toString().toLatin1());
        r.parameterSha256 = q.value(7).toString();
        r.parameterFile = q.value(8).toString();
        r.program = q.value(9).toString();
        out.push_back(std::move(r));
    }
    if (q.lastError().isValid())
        failQuery(error, q);
    return out;
}

std::optional<RunInfo> RecordStore::run(const QString& runId, QString* error) const {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT started_at, stopped_at, device, program, host, parameters FROM runs"
                             " WHERE run_id = ?"));
    q.addBindValue(runId);
    if (!q.exec()) {
        failQuery(error, q);
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    RunInfo run;
    run.runId = runId;
    run.startedAt = ParseUtcTime(q.value(0).toString());
    if (!q.value(1).isNull())
        run.stoppedAt = ParseUtcTime(q.value(1).toString());
    run.device = q.value(2).toString();
    run.program = q.value(3).toString();
    run.host = q.value(4).toString();
    for (const QJsonValue& v : QJsonDocument::fromJson(q.value(5).toString().toUtf8()).array())
        run.parameters << v.toString();
    return run;
}

} // namespace qt2xx
