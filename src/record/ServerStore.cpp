#include "record/ServerStore.h"

#include "record/RecordSchema.h"
#include "record/SqlResult.h"

#include <QSqlQuery>
#include <QUuid>

namespace qt2xx {

namespace {

// Held while a bench checks and creates the tables, so that benches meeting a new server at the
// same moment do not create them twice.
constexpr qint64 kSchemaLock = 0x71327878;

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
    for (const QString& sql : record_schema::ServerSchemaStatements())
        ok = ok && query.exec(sql);
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
    if (found.isNull() || found.toInt() < kSchemaVersion) {
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
    using namespace record_schema;
    QSqlQuery runQuery(db);
    QSqlQuery recordQuery(db);
    bool ok =
        runQuery.prepare(QStringLiteral("INSERT INTO %1(%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET "
                                        "%5 = EXCLUDED.%5 WHERE EXCLUDED.%5 IS NOT NULL")
                             .arg(kRuns, NameList<RunInfo>(), Placeholders(qsizetype(RunColumns().size())),
                                  kRunId, kStoppedAt)) &&
        recordQuery.prepare(QStringLiteral("INSERT INTO %1(%2, %3) VALUES (%4) ON CONFLICT (%5) DO NOTHING")
                                .arg(kRecords, NameList<ProductionRecord>(), kHost,
                                     Placeholders(qsizetype(RecordColumns().size()) + 1), kRecordId));
    if (!ok)
        SqlFailed(error, runQuery.lastError().isValid() ? runQuery.lastError() : recordQuery.lastError());
    for (auto it = runs.cbegin(); ok && it != runs.cend(); ++it) {
        BindAll(runQuery, *it);
        ok = runQuery.exec() || SqlFailed(error, runQuery.lastError());
    }
    for (auto it = records.cbegin(); ok && it != records.cend(); ++it) {
        BindAll(recordQuery, it->record);
        recordQuery.addBindValue(it->host);
        ok = recordQuery.exec() || SqlFailed(error, recordQuery.lastError());
    }
    return EndTransaction(db, ok, error);
}

} // namespace qt2xx
