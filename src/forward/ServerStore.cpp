#include "forward/ServerStore.h"

#include "record/RecordSchema.h"
#include "record/SqlResult.h"

#include <QSqlQuery>
#include <QUuid>

namespace qt2xx {

namespace {

// Held while a bench checks and creates the tables, so that benches meeting a new server at the
// same moment do not create them twice.
constexpr qint64 kSchemaLock = 0x71327878;

Done execBound(QSqlQuery& query, const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        return SqlFailure(query.lastError());
    return {};
}

Failure newerTables(int version) {
    return Fail(
        QStringLiteral("the server's record tables are of version %1, newer than this program knows (%2); "
                       "update this program")
            .arg(version)
            .arg(ServerStore::kSchemaVersion));
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

Done ServerStore::open() {
    if (Done connected = connect(); !connected)
        return connected;
    const Done created = createSchema();
    if (!created)
        QSqlDatabase::database(m_connection, false).close();
    return created;
}

Done ServerStore::openToRead() {
    m_reading = Reading::Unreachable;
    if (Done connected = connect(); !connected)
        return connected;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT to_regclass('record_schema') IS NOT NULL")) || !query.next())
        return SqlFailure(query.lastError());
    const bool tables = query.value(0).toBool();
    if (!tables || !query.exec(QStringLiteral("SELECT max(version) FROM record_schema")) || !query.next() ||
        query.value(0).isNull()) {
        m_reading = Reading::NoTables;
        return Fail(QStringLiteral("the server holds no record tables yet: they are made when a bench first "
                                   "forwards its records"));
    }
    m_version = query.value(0).toInt();
    if (m_version > kSchemaVersion) {
        m_reading = Reading::Newer;
        return newerTables(m_version);
    }
    m_reading = Reading::Ready;
    return {};
}

Done ServerStore::connect() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return Fail(QStringLiteral("the PostgreSQL driver of Qt SQL is not installed (libqt6sql6-psql)"));
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? QSqlDatabase::database(m_connection, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(m_address.host);
    db.setPort(m_address.port);
    db.setDatabaseName(m_address.database);
    db.setUserName(m_address.user);
    db.setConnectOptions(m_address.connectOptions.join(u';'));
    if (!db.open())
        return SqlFailure(db.lastError());
    return {};
}

// A server already of this version is left as it is: bringing tables up to date locks them against
// every other bench's claims and records, so it is done only when the version is older. A server of
// a newer version is not touched either: its functions would be replaced by this program's.
Done ServerStore::createSchema() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    {
        QSqlQuery look(db);
        if (!look.exec(QStringLiteral("SELECT to_regclass('record_schema') IS NOT NULL")) || !look.next())
            return SqlFailure(look.lastError());
        if (look.value(0).toBool()) {
            if (!look.exec(QStringLiteral("SELECT max(version) FROM record_schema")) || !look.next())
                return SqlFailure(look.lastError());
            const QVariant version = look.value(0);
            if (!version.isNull() && version.toInt() > kSchemaVersion)
                return newerTables(version.toInt());
            if (!version.isNull() && version.toInt() == kSchemaVersion) {
                m_version = kSchemaVersion;
                return {};
            }
        }
    }
    if (!db.transaction())
        return SqlFailure(db.lastError());
    QSqlQuery query(db);
    // Tables that exist already are no news.
    bool ok = query.exec(QStringLiteral("SET client_min_messages TO warning")) &&
              query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock));
    for (const QString& sql : record_schema::ServerSchemaStatements())
        ok = ok && query.exec(sql);
    ok = ok && query.exec(QStringLiteral("SELECT max(version) FROM record_schema")) && query.next();
    if (!ok) {
        const Failure failure = SqlFailure(query.lastError());
        db.rollback();
        return failure;
    }
    const QVariant found = query.value(0);
    query.finish();
    if (!found.isNull() && found.toInt() > kSchemaVersion) {
        db.rollback();
        return newerTables(found.toInt());
    }
    if (found.isNull() || found.toInt() < kSchemaVersion) {
        query.prepare(QStringLiteral("INSERT INTO record_schema(version) VALUES (?)"));
        if (Done inserted = execBound(query, {kSchemaVersion}); !inserted) {
            db.rollback();
            return inserted;
        }
    }
    m_version = kSchemaVersion;
    if (!db.commit())
        return SqlFailure(db.lastError());
    return {};
}

Done ServerStore::send(const std::vector<ForwardOutbox::Run>& runs,
                       const std::vector<ForwardOutbox::Record>& records) {
    return send(runs, {}, records);
}

Done ServerStore::send(const std::vector<ForwardOutbox::Run>& runs, const std::vector<OrderInfo>& orders,
                       const std::vector<ForwardOutbox::Record>& records) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return SqlFailure(db.lastError());
    using namespace record_schema;
    QSqlQuery runQuery(db);
    QSqlQuery recordQuery(db);
    QSqlQuery orderQuery(db);
    const bool prepared =
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
    Done steps;
    if (!prepared)
        steps = SqlFailure(orderQuery.lastError().isValid() ? orderQuery.lastError()
                           : runQuery.lastError().isValid() ? runQuery.lastError()
                                                            : recordQuery.lastError());
    for (auto it = orders.cbegin(); steps && it != orders.cend(); ++it) {
        BindAll(orderQuery, *it);
        if (!orderQuery.exec())
            steps = SqlFailure(orderQuery.lastError());
    }
    for (auto it = runs.cbegin(); steps && it != runs.cend(); ++it) {
        BindAll(runQuery, *it);
        if (!runQuery.exec())
            steps = SqlFailure(runQuery.lastError());
    }
    for (auto it = records.cbegin(); steps && it != records.cend(); ++it) {
        BindAll(recordQuery, it->record);
        recordQuery.addBindValue(it->host);
        if (!recordQuery.exec())
            steps = SqlFailure(recordQuery.lastError());
    }
    return EndTransaction(db, steps);
}

} // namespace qt2xx
