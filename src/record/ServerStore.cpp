#include "record/ServerStore.h"

#include "record/SqlResult.h"

#include <QSqlQuery>
#include <QUuid>

namespace qt2xx {

namespace {

// Held while a bench checks and creates the tables, so that benches meeting a new server at the
// same moment do not create them twice.
constexpr qint64 kSchemaLock = 0x71327878;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS record_schema(version integer NOT NULL)",
    "CREATE TABLE IF NOT EXISTS runs(run_id text PRIMARY KEY, started_at timestamptz NOT NULL, "
    "stopped_at timestamptz, device text NOT NULL, program text NOT NULL, host text NOT NULL, "
    "parameters text NOT NULL)",
    "CREATE TABLE IF NOT EXISTS records(record_id text PRIMARY KEY, recorded_at timestamptz NOT NULL, "
    "run_id text NOT NULL, unit integer NOT NULL, device text NOT NULL, result text NOT NULL, "
    "frame text NOT NULL, parameter_sha256 text NOT NULL, parameter_file text NOT NULL, "
    "program text NOT NULL, host text NOT NULL, received_at timestamptz NOT NULL DEFAULT now())",
    "CREATE INDEX IF NOT EXISTS records_recorded_at ON records(recorded_at)",
    "CREATE INDEX IF NOT EXISTS records_host ON records(host, recorded_at)",
};

bool execBound(QSqlQuery& query, const QVariantList& values, QString* error) {
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return query.exec() || SqlFailed(error, query.lastError());
}

} // namespace

ServerStore::ServerStore(ServerAddress address)
    : m_address(std::move(address)),
      m_connection(QStringLiteral("record-server-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

ServerStore::~ServerStore() {
    close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool ServerStore::isOpen() const {
    return QSqlDatabase::contains(m_connection) && QSqlDatabase::database(m_connection, false).isOpen();
}

void ServerStore::close() {
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::database(m_connection, false).close();
}

bool ServerStore::open(QString* error) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        if (error)
            *error = QStringLiteral("the PostgreSQL driver of Qt SQL is not installed (libqt6sql6-psql)");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? QSqlDatabase::database(m_connection, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(m_address.host);
    db.setPort(m_address.port);
    db.setDatabaseName(m_address.database);
    db.setUserName(m_address.user);
    db.setConnectOptions(m_address.connectOptions.join(u';'));
    if (!db.open())
        return SqlFailed(error, db.lastError());
    if (createSchema(error))
        return true;
    db.close();
    return false;
}

bool ServerStore::createSchema(QString* error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return SqlFailed(error, db.lastError());
    QSqlQuery query(db);
    // Tables that exist already are no news.
    bool ok = query.exec(QStringLiteral("SET client_min_messages TO warning")) &&
              query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock));
    for (const char* sql : kSchema)
        ok = ok && query.exec(QString::fromLatin1(sql));
    ok = ok && query.exec(QStringLiteral("SELECT max(version) FROM record_schema")) && query.next();
    if (!ok) {
        SqlFailed(error, query.lastError());
        db.rollback();
        return false;
    }
    const QVariant found = query.value(0);
    query.finish();
    if (!found.isNull() && found.toInt() > kSchemaVersion) {
        if (error)
            *error = QStringLiteral("the server's record tables are of version %1, newer than this program "
                                    "knows (%2); update this program")
                         .arg(found.toInt())
                         .arg(kSchemaVersion);
        db.rollback();
        return false;
    }
    if (found.isNull()) {
        query.prepare(QStringLiteral("INSERT INTO record_schema(version) VALUES (?)"));
        if (!execBound(query, {kSchemaVersion}, error)) {
            db.rollback();
            return false;
        }
    }
    return db.commit() || SqlFailed(error, db.lastError());
}

bool ServerStore::send(const std::vector<ForwardOutbox::Run>& runs,
                       const std::vector<ForwardOutbox::Record>& records, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return SqlFailed(error, db.lastError());
    QSqlQuery runQuery(db);
    QSqlQuery recordQuery(db);
    bool ok = runQuery.prepare(QStringLiteral(
                  "INSERT INTO runs(run_id, started_at, stopped_at, device, program, host, parameters) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (run_id) DO UPDATE SET stopped_at = "
                  "EXCLUDED.stopped_at WHERE EXCLUDED.stopped_at IS NOT NULL")) &&
              recordQuery.prepare(QStringLiteral(
                  "INSERT INTO records(record_id, recorded_at, run_id, unit, device, result, frame, "
                  "parameter_sha256, parameter_file, program, host) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                  "ON CONFLICT (record_id) DO NOTHING"));
    if (!ok)
        SqlFailed(error, runQuery.lastError().isValid() ? runQuery.lastError() : recordQuery.lastError());
    for (auto it = runs.cbegin(); ok && it != runs.cend(); ++it)
        ok = execBound(runQuery, *it, error);
    for (auto it = records.cbegin(); ok && it != records.cend(); ++it)
        ok = execBound(recordQuery, it->values, error);
    return EndTransaction(db, ok, error);
}

} // namespace qt2xx
