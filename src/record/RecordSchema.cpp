#include "record/RecordSchema.h"

#include "forward/ClaimSchema.h"

#include "params/FrameHex.h"
#include "platform/core/UtcTime.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace qt2xx::record_schema {

namespace {

constexpr char kProgram[] = "program";

// Qt binds a null QString as SQL NULL; a text column that must not be NULL gets the empty text.
QVariant text(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

QVariant timeOrNull(const QDateTime& time) {
    return time.isValid() ? QVariant(UtcTimeText(time)) : QVariant(QMetaType::fromType<QString>());
}

QDateTime timeOf(const QVariant& value) {
    return value.isNull() ? QDateTime() : ParseUtcTime(value.toString());
}

// Keeps a text field: the member is named once, in the row of the table below.
#define QT2XX_TEXT(Row, member)                                                                              \
    [](const Row& r) { return text(r.member); }, [](Row& r, const QVariant& v) {                             \
        r.member = v.toString();                                                                             \
        return true;                                                                                         \
    }

const RecordColumn kRecordColumns[] = {
    {kRecordId, SqlType::Text, false, 1, 1, false, QT2XX_TEXT(ProductionRecord, recordId)},
    {kRecordedAt, SqlType::Time, false, 1, 1, true,
     [](const ProductionRecord& r) { return timeOrNull(r.recordedAt); },
     [](ProductionRecord& r, const QVariant& v) {
         r.recordedAt = timeOf(v);
         return true;
     }},
    {kRunId, SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, runId)},
    {kUnit, SqlType::Integer, false, 1, 1, true, [](const ProductionRecord& r) { return QVariant(r.unit); },
     [](ProductionRecord& r, const QVariant& v) {
         r.unit = v.toInt();
         return true;
     }},
    {kDevice, SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, device)},
    {kResult, SqlType::Text, false, 1, 1, true,
     [](const ProductionRecord& r) { return QVariant(ResultName(r.result)); },
     [](ProductionRecord& r, const QVariant& v) {
         const std::optional<Outcome> outcome = OutcomeFromResultName(v.toString());
         r.result = outcome.value_or(Outcome::Finished);
         return outcome.has_value();
     }},
    {"frame", SqlType::Text, false, 1, 1, true,
     [](const ProductionRecord& r) { return text(FrameHex(r.frame)); },
     [](ProductionRecord& r, const QVariant& v) {
         r.frame = QByteArray::fromHex(v.toString().toLatin1());
         return true;
     }},
    {kParameterSha256, SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, parameterSha256)},
    {kParameterFile, SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, parameterFile)},
    {kProgram, SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, program)},
    {kWorkOrder, SqlType::Text, false, 3, 2, true, QT2XX_TEXT(ProductionRecord, orderId)},
    {kUnitSerial, SqlType::Text, false, 3, 2, true, QT2XX_TEXT(ProductionRecord, unitSerial)},
    {kOperator, SqlType::Text, false, 3, 2, true, QT2XX_TEXT(ProductionRecord, operatorId)},
    {kStation, SqlType::Text, false, 3, 2, true, QT2XX_TEXT(ProductionRecord, station)},
    {kRework, SqlType::Integer, false, 3, 2, true,
     [](const ProductionRecord& r) { return QVariant(r.rework ? 1 : 0); },
     [](ProductionRecord& r, const QVariant& v) {
         r.rework = v.toInt() != 0;
         return true;
     }},
    {kOffline, SqlType::Integer, false, kLocalOfflineVersion, kServerOfflineVersion, true,
     [](const ProductionRecord& r) { return QVariant(r.offline ? 1 : 0); },
     [](ProductionRecord& r, const QVariant& v) {
         r.offline = v.toInt() != 0;
         return true;
     }},
};

const OrderColumn kOrderColumns[] = {
    {kWorkOrder, SqlType::Text, false, 3, 2, false, QT2XX_TEXT(OrderInfo, orderId)},
    {kProduct, SqlType::Text, false, 3, 2, false, QT2XX_TEXT(OrderInfo, product)},
    {kSetSha256, SqlType::Text, false, 3, 2, false, QT2XX_TEXT(OrderInfo, setSha256)},
    {kQuantity, SqlType::Integer, false, 3, 2, false, [](const OrderInfo& r) { return QVariant(r.quantity); },
     [](OrderInfo& r, const QVariant& v) {
         r.quantity = v.toInt();
         return true;
     }},
    {kFirstUsed, SqlType::Time, false, 3, 2, false,
     [](const OrderInfo& r) { return timeOrNull(r.firstUsed); },
     [](OrderInfo& r, const QVariant& v) {
         r.firstUsed = timeOf(v);
         return true;
     }},
};

const RunColumn kRunColumns[] = {
    {kRunId, SqlType::Text, false, 1, 1, false, QT2XX_TEXT(RunInfo, runId)},
    {"started_at", SqlType::Time, false, 1, 1, false,
     [](const RunInfo& r) { return timeOrNull(r.startedAt); },
     [](RunInfo& r, const QVariant& v) {
         r.startedAt = timeOf(v);
         return true;
     }},
    {kStoppedAt, SqlType::Time, true, 1, 1, false, [](const RunInfo& r) { return timeOrNull(r.stoppedAt); },
     [](RunInfo& r, const QVariant& v) {
         r.stoppedAt = timeOf(v);
         return true;
     }},
    {kDevice, SqlType::Text, false, 1, 1, false, QT2XX_TEXT(RunInfo, device)},
    {kProgram, SqlType::Text, false, 1, 1, false, QT2XX_TEXT(RunInfo, program)},
    {kHost, SqlType::Text, false, 1, 1, false, QT2XX_TEXT(RunInfo, host)},
    {"parameters", SqlType::Text, false, 1, 1, false,
     [](const RunInfo& r) {
         return QVariant(QString::fromUtf8(
             QJsonDocument(QJsonArray::fromStringList(r.parameters)).toJson(QJsonDocument::Compact)));
     },
     [](RunInfo& r, const QVariant& v) {
         r.parameters.clear();
         for (const QJsonValue& item : QJsonDocument::fromJson(v.toString().toUtf8()).array())
             r.parameters << item.toString();
         return true;
     }},
};

#undef QT2XX_TEXT

enum class Side { Local, Server };

QString typeOf(SqlType type, Side side) {
    switch (type) {
    case SqlType::Text:
        return side == Side::Local ? QStringLiteral("TEXT") : QStringLiteral("text");
    case SqlType::Integer:
        return side == Side::Local ? QStringLiteral("INTEGER") : QStringLiteral("integer");
    case SqlType::Time:
        return side == Side::Local ? QStringLiteral("TEXT") : QStringLiteral("timestamptz");
    }
    return {};
}

// The definition of one column; the first column of each table is its key.
template <typename Row> QString definition(const Column<Row>& column, Side side, bool key) {
    QString sql = QLatin1String(column.name) + u' ' + typeOf(column.type, side);
    if (key)
        return sql + (side == Side::Server || !std::is_same_v<Row, ProductionRecord>
                          ? QStringLiteral(" PRIMARY KEY")
                          : QStringLiteral(" NOT NULL UNIQUE"));
    return column.nullable ? sql : sql + QStringLiteral(" NOT NULL");
}

// A column a later version adds to a table that may hold rows: they get the empty text or 0.
template <typename Row> QString addedDefinition(const Column<Row>& column, Side side) {
    const QString fallback = column.type == SqlType::Integer ? QStringLiteral("0") : QStringLiteral("''");
    return definition(column, side, false) + QStringLiteral(" DEFAULT ") + fallback;
}

// The columns of Row that exactly this version of that side brings.
template <typename Row> std::vector<const Column<Row>*> broughtBy(Side side, int version) {
    std::vector<const Column<Row>*> out;
    for (const Column<Row>& column : Columns<Row>())
        if ((side == Side::Local ? column.localSince : column.serverSince) == version)
            out.push_back(&column);
    return out;
}

// The columns of Row that the given version of that side has from its first.
template <typename Row> QStringList definitions(Side side, int version) {
    QStringList out;
    bool key = true;
    for (const Column<Row>& column : Columns<Row>()) {
        if ((side == Side::Local ? column.localSince : column.serverSince) <= version)
            out << definition(column, side, key);
        key = false;
    }
    return out;
}

QString indexOn(const QString& verb, std::initializer_list<const char*> columns) {
    QStringList names;
    for (const char* column : columns)
        names << QLatin1String(column);
    // Named after its first column alone: the servers' indexes already carry these names.
    return QStringLiteral("%1 %2_%3 ON %2(%4)")
        .arg(verb, QLatin1String(kRecords), names.front(), names.join(QLatin1String(", ")));
}

bool createVersion1(QSqlQuery& q) {
    const QStringList runs = definitions<RunInfo>(Side::Local, 1);
    const QStringList records =
        QStringList{QStringLiteral("%1 INTEGER PRIMARY KEY AUTOINCREMENT").arg(kSeq)} +
        definitions<ProductionRecord>(Side::Local, 1);
    return q.exec(QStringLiteral("CREATE TABLE %1(%2)").arg(kRuns, runs.join(QLatin1String(", ")))) &&
           q.exec(QStringLiteral("CREATE TABLE %1(%2)").arg(kRecords, records.join(QLatin1String(", ")))) &&
           q.exec(indexOn(QStringLiteral("CREATE INDEX"), {kRecordedAt}));
}

// Each server's cursor (the last record it holds, the streak of failures) and the runs whose start
// and stop it holds.
bool addForwardingTables(QSqlQuery& q) {
    return q.exec(QStringLiteral("CREATE TABLE forward_cursor(server TEXT PRIMARY KEY, "
                                 "last_seq INTEGER NOT NULL DEFAULT 0, last_sent_at TEXT, last_error TEXT, "
                                 "last_error_at TEXT)")) &&
           q.exec(QStringLiteral("CREATE TABLE forward_runs(server TEXT NOT NULL, %1 TEXT NOT NULL, "
                                 "%2 TEXT, PRIMARY KEY(server, %1))")
                      .arg(kRunId, kStoppedAt));
}

// The record columns a later local version brings, added to the rows already there.
bool addRecordColumns(QSqlQuery& q, int version) {
    bool ok = true;
    for (const RecordColumn* column : broughtBy<ProductionRecord>(Side::Local, version))
        ok = ok && q.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                              .arg(kRecords, addedDefinition(*column, Side::Local)));
    return ok;
}

// Work orders: who programmed which unit for which order, and the orders themselves.
bool addOrders(QSqlQuery& q) {
    return addRecordColumns(q, kLocalOrdersVersion) &&
           q.exec(QStringLiteral("CREATE TABLE %1(%2)")
                      .arg(kOrders, definitions<OrderInfo>(Side::Local, kLocalOrdersVersion)
                                        .join(QLatin1String(", ")))) &&
           q.exec(indexOn(QStringLiteral("CREATE INDEX"), {kWorkOrder, kResult})) &&
           q.exec(indexOn(QStringLiteral("CREATE INDEX"), {kUnitSerial, kResult}));
}

// The label queue: a job per finished record that wants a label, written in the record's own
// transaction, and each print and reprint with when, where and who.
bool addLabelTables(QSqlQuery& q) {
    return q.exec(QStringLiteral(
                      "CREATE TABLE %1(%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT NOT NULL UNIQUE, "
                      "%4 TEXT NOT NULL, %5 TEXT NOT NULL, %6 TEXT NOT NULL, %7 TEXT, "
                      "%8 INTEGER NOT NULL DEFAULT 0, %9 TEXT, %10 TEXT)")
                      .arg(kLabelJobs, kJob, kRecordId, kPrinter, kLabelState, kQueuedAt, kClaimedBy,
                           kAttempts, kLastError)
                      .arg(kPrintedAt)) &&
           q.exec(QStringLiteral("CREATE INDEX %1_waiting ON %1(%2, %3, %4)")
                      .arg(kLabelJobs, kLabelState, kPrinter, kJob)) &&
           q.exec(QStringLiteral("CREATE TABLE %1(print INTEGER PRIMARY KEY AUTOINCREMENT, %2 TEXT NOT NULL, "
                                 "%3 TEXT NOT NULL, %4 TEXT NOT NULL, %5 TEXT NOT NULL, %6 TEXT NOT NULL, "
                                 "%7 INTEGER NOT NULL)")
                      .arg(kLabelPrints, kRecordId, kPrintedAt, kPrinter, kOperator, kStation, kReprint)) &&
           q.exec(QStringLiteral("CREATE INDEX %1_%2 ON %1(%2)").arg(kLabelPrints, kRecordId));
}

// Whether each record was made offline; the records already kept were made under the rules in force.
bool addOffline(QSqlQuery& q) {
    return addRecordColumns(q, kLocalOfflineVersion);
}

constexpr MigrationStep kLocalSteps[] = {createVersion1, addForwardingTables, addOrders, addLabelTables,
                                         addOffline};
static_assert(std::size(kLocalSteps) == kLocalVersion);
static_assert(kForwardingVersion <= kLocalVersion);
static_assert(kLocalLabelsVersion <= kLocalVersion);
static_assert(kLocalOfflineVersion <= kLocalVersion && kServerOfflineVersion <= kServerVersion);

} // namespace

std::span<const RecordColumn> RecordColumns() {
    return kRecordColumns;
}

std::span<const RunColumn> RunColumns() {
    return kRunColumns;
}

std::span<const OrderColumn> OrderColumns() {
    return kOrderColumns;
}

QString Placeholders(qsizetype count) {
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1String(", "));
}

std::span<const MigrationStep> LocalMigrationSteps() {
    return kLocalSteps;
}

namespace {

// The record columns a later server version brings, added to the rows already there.
QStringList serverRecordColumns(int version) {
    QStringList out;
    for (const RecordColumn* column : broughtBy<ProductionRecord>(Side::Server, version))
        out << QStringLiteral("ALTER TABLE %1 ADD COLUMN IF NOT EXISTS %2")
                   .arg(kRecords, addedDefinition(*column, Side::Server));
    return out;
}

QStringList serverOrderStatements() {
    QStringList out = serverRecordColumns(kServerOrdersVersion);
    out << QStringLiteral("CREATE TABLE IF NOT EXISTS %1(%2)")
               .arg(kOrders,
                    definitions<OrderInfo>(Side::Server, kServerOrdersVersion).join(QLatin1String(", ")))
        << indexOn(QStringLiteral("CREATE INDEX IF NOT EXISTS"), {kWorkOrder, kResult})
        << indexOn(QStringLiteral("CREATE INDEX IF NOT EXISTS"), {kUnitSerial, kResult});
    return out;
}

// Views for a plant's dashboards, so that they need not know the tables. Views take no bound
// values: the one word they compare with is the record's own.
QStringList serverViews() {
    const QString finished = QStringLiteral("'%1'").arg(ResultName(Outcome::Finished));
    const QString day = QStringLiteral("(%1 AT TIME ZONE 'UTC')::date AS day").arg(kRecordedAt);
    const QString progress =
        QStringLiteral(
            "SELECT o.%1, o.%2, o.%3, o.%4, o.%5, count(DISTINCT CASE WHEN r.%6 <> '' AND r.%7 = %8 "
            "THEN r.%6 END) + count(CASE WHEN r.%6 = '' AND r.%7 = %8 THEN 1 END) AS units_finished, "
            "count(CASE WHEN r.%7 <> %8 THEN 1 END) AS attempts_failed, max(r.%9) AS last_recorded_at "
            "FROM %10 o LEFT JOIN %11 r ON r.%1 = o.%1 GROUP BY o.%1, o.%2, o.%3, o.%4, o.%5")
            .arg(kWorkOrder, kProduct, kSetSha256, kQuantity, kFirstUsed, kUnitSerial, kResult, finished,
                 kRecordedAt)
            .arg(kOrders, kRecords);
    return {
        QStringLiteral(
            "CREATE OR REPLACE VIEW order_progress AS SELECT p.*, greatest(p.%1 - p.units_finished, 0) "
            "AS remaining, (SELECT count(*) FROM claims c WHERE c.%2 = p.%2 AND c.counts AND c.expires_at "
            "> now()) AS units_claimed FROM (%3) p")
            .arg(kQuantity, kWorkOrder, progress),
        QStringLiteral(
            "CREATE OR REPLACE VIEW daily_yield AS SELECT %1, %2, %3, count(*) AS attempts, "
            "count(CASE WHEN %4 = %5 THEN 1 END) AS finished, round(100.0 * count(CASE WHEN %4 = %5 "
            "THEN 1 END) / count(*), 1) AS yield_percent FROM %6 GROUP BY 1, 2, 3")
            .arg(day, kStation, kParameterSha256, kResult, finished, kRecords),
        QStringLiteral(
            "CREATE OR REPLACE VIEW failures_by_kind AS SELECT %1, %2, %3, %4, count(*) AS failures "
            "FROM %5 WHERE %4 <> %6 GROUP BY 1, 2, 3, 4")
            .arg(day, kWorkOrder, kStation, kResult, kRecords, finished),
        // A unit's attempts within its order, for the order report's first passes and unit list.
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1_order_units ON %1(%2, %3, %4)")
            .arg(kRecords, kWorkOrder, kUnitSerial, kRecordedAt),
    };
}

} // namespace

QStringList ServerSchemaStatements() {
    // The tables as version 1 made them, then what each later version adds: a server of an older
    // version is brought up to this one, and running them again changes nothing.
    const QStringList runs = definitions<RunInfo>(Side::Server, 1);
    const QStringList records = definitions<ProductionRecord>(Side::Server, 1) +
                                QStringList{QStringLiteral("%1 text NOT NULL").arg(kHost),
                                            QStringLiteral("received_at timestamptz NOT NULL DEFAULT now()")};
    return QStringList{
               QStringLiteral("CREATE TABLE IF NOT EXISTS record_schema(version integer NOT NULL)"),
               QStringLiteral("CREATE TABLE IF NOT EXISTS %1(%2)").arg(kRuns, runs.join(QLatin1String(", "))),
               QStringLiteral("CREATE TABLE IF NOT EXISTS %1(%2)")
                   .arg(kRecords, records.join(QLatin1String(", "))),
               indexOn(QStringLiteral("CREATE INDEX IF NOT EXISTS"), {kRecordedAt}),
               indexOn(QStringLiteral("CREATE INDEX IF NOT EXISTS"), {kHost, kRecordedAt}),
           } +
           serverOrderStatements() + claim_schema::ServerStatements() +
           serverRecordColumns(kServerOfflineVersion) + serverViews();
}

} // namespace qt2xx::record_schema
