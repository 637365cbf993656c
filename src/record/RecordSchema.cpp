#include "record/RecordSchema.h"

#include "params/FrameHex.h"
#include "platform/core/UtcTime.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace qt2xx::record_schema {

namespace {

constexpr char kDevice[] = "device";
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
    {"unit", SqlType::Integer, false, 1, 1, true, [](const ProductionRecord& r) { return QVariant(r.unit); },
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
    {"parameter_file", SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, parameterFile)},
    {kProgram, SqlType::Text, false, 1, 1, true, QT2XX_TEXT(ProductionRecord, program)},
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
        return sql +
               (side == Side::Server || std::is_same_v<Row, RunInfo> ? QStringLiteral(" PRIMARY KEY")
                                                                     : QStringLiteral(" NOT NULL UNIQUE"));
    return column.nullable ? sql : sql + QStringLiteral(" NOT NULL");
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

constexpr MigrationStep kLocalSteps[] = {createVersion1, addForwardingTables};
static_assert(std::size(kLocalSteps) == kLocalVersion);
static_assert(kForwardingVersion <= kLocalVersion);

} // namespace

std::span<const RecordColumn> RecordColumns() {
    return kRecordColumns;
}

std::span<const RunColumn> RunColumns() {
    return kRunColumns;
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

QStringList ServerSchemaStatements() {
    const QStringList runs = definitions<RunInfo>(Side::Server, kServerVersion);
    const QStringList records = definitions<ProductionRecord>(Side::Server, kServerVersion) +
                                QStringList{QStringLiteral("%1 text NOT NULL").arg(kHost),
                                            QStringLiteral("received_at timestamptz NOT NULL DEFAULT now()")};
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS record_schema(version integer NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1(%2)").arg(kRuns, runs.join(QLatin1String(", "))),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1(%2)").arg(kRecords, records.join(QLatin1String(", "))),
        indexOn(QStringLiteral("CREATE INDEX IF NOT EXISTS"), {kRecordedAt}),
        indexOn(QStringLiteral("CREATE INDEX IF NOT EXISTS"), {kHost, kRecordedAt}),
    };
}

} // namespace qt2xx::record_schema
