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

QSqlDatabase ServerStore::database() const {
    return QSqlDatabase::database(m_connection, false);
}

bool ServerStore::open(QString* error) {
    if (!connect(error))
        return false;
    if (createSchema(error))
        return true;
    QSqlDatabase::database(m_connection, false).close();
    return false;
}

ServerStore::Reading ServerStore::openToRead(QString* error) {
    if (!connect(error))
        return Reading::Unreachable;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT to_regclass('record_schema') IS NOT NULL")) || !query.next()) {
        SqlFailed(error, query.lastError());
        return Reading::Unreachable;
    }
    const bool tables = query.value(0).toBool();
    if (!tables || !query.exec(QStringLiteral("SELECT max(version) FROM record_schema")) || !query.next() ||
        query.value(0).isNull()) {
        if (error)
            *error = QStringLiteral("the server holds no record tables yet: they are made when a bench first "
                                    "forwards its records");
        return Reading::NoTables;
    }
    m_version = query.value(0).toInt();
    if (m_version > kSchemaVersion) {
        if (error)
            *error = QStringLiteral("the server's record tables are of version %1, newer than this program "
                                    "knows (%2); update this program")
                         .arg(m_version)
                         .arg(kSchemaVersion);
        return Reading::Newer;
    }
    return Reading::Ready;
}

bool ServerStore::connect(QString* error) {
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
    return db.open() || SqlFailed(error, db.lastError());
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
    m_version = kSchemaVersion;
    return db.commit() || SqlFailed(error, db.lastError());
}

bool ServerStore::send(const std::vector<ForwardOutbox::Run>& runs,
                       const std::vector<ForwardOutbox::Record>& records, QString* error) {
    return send(runs, {}, records, error);
}

bool ServerStore::send(const std::vector<ForwardOutbox::Run>& runs, const std::vector<OrderInfo>& orders,
                       const std::vector<ForwardOutbox::Record>& records, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return SqlFailed(error, db.lastError());
    using namespace record_schema;
    QSqlQuery runQuery(db);
    QSqlQuery recordQuery(db);
    QSqlQuery orderQuery(db);
    bool ok =
        orderQuery.prepare(
            QStringLiteral("INSERT INTO %1 AS o(%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET "
                           "%5 = LEAST(o.%5, EXCLUDED.%5)")
                .arg(kOrders, NameList<OrderInfo>(), Placeholders(qsizetype(OrderColumns().size())),
                     kWorkOrder, kFirstUsed)) &&
        runQuery.prepare(QStringLiteral("INSERT INTO %1(%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET "
                                        "%5 = EXCLUDED.%5 WHERE EXCLUDED.%5 IS NOT NULL")
                             .arg(kRuns, NameList<RunInfo>(), Placeholders(qsizetype(RunColumns().size())),
                                  kRunId, kStoppedAt)) &&
        recordQuery.prepare(QStringLiteral("INSERT INTO %1(%2, %3) VALUES (%4) ON CONFLICT (%5) DO NOTHING")
                                .arg(kRecords, NameList<ProductionRecord>(), kHost,
                                     Placeholders(qsizetype(RecordColumns().size()) + 1), kRecordId));
    if (!ok)
        SqlFailed(error, orderQuery.lastError().isValid() ? orderQuery.lastError()
                         : runQuery.lastError().isValid() ? runQuery.lastError()
                                                          : recordQuery.lastError());
    for (auto it = orders.cbegin(); ok && it != orders.cend(); ++it) {
        BindAll(orderQuery, *it);
        ok = orderQuery.exec() || SqlFailed(error, orderQuery.lastError());
    }
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
