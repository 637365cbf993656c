#pragma once

#include "record/ProductionRecord.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <span>

// The production record's schema, declared once: the local store, the forwarding outbox, the
// server's tables and the export build their SQL and read their fields from these lists. Adding a
// column is one row in RecordSchema.cpp, with the versions that bring it, plus one local and one
// server migration step.
namespace qt2xx::record_schema {

// How a column keeps its value: times as UTC text to the millisecond (a timestamp on the server),
// the frame as hex text, the result as its word.
enum class SqlType { Text, Integer, Time };

template <typename Row> struct Column {
    const char* name;
    SqlType type;
    bool nullable;   // only a run's stop time may be missing
    int localSince;  // the local schema version that brought the column
    int serverSince; // the server schema version that brought it
    bool exported;   // one of the fields `export` prints
    QVariant (*read)(const Row& row);
    // False when the stored value cannot be taken back (an unknown result word).
    bool (*write)(Row& row, const QVariant& value);
};
using RecordColumn = Column<ProductionRecord>;
using RunColumn = Column<RunInfo>;
using OrderColumn = Column<OrderInfo>;

inline constexpr int kLocalVersion = 5;
// 3: plant-wide claims (forward/ClaimSchema.h); 4: the records made offline; 5: made units keep
// their claims, and claims on one order wait on a lock of their own.
inline constexpr int kServerVersion = 5;
// The versions that first know work orders, unit serials, operators and stations.
inline constexpr int kLocalOrdersVersion = 3;
inline constexpr int kServerOrdersVersion = 2;
// The local version that first keeps forwarding progress.
inline constexpr int kForwardingVersion = 2;
// The local version that first keeps the label queue and the log of printed labels.
inline constexpr int kLocalLabelsVersion = 4;
// The versions that first mark the records made while the bench went on without the server.
inline constexpr int kLocalOfflineVersion = 5;
inline constexpr int kServerOfflineVersion = 4;

// Table and column names the queries pick rows by.
inline constexpr char kRecords[] = "records";
inline constexpr char kRuns[] = "runs";
inline constexpr char kOrders[] = "orders";
inline constexpr char kSeq[] = "seq"; // the local records' order of writing
inline constexpr char kRecordId[] = "record_id";
inline constexpr char kRecordedAt[] = "recorded_at";
inline constexpr char kRunId[] = "run_id";
inline constexpr char kResult[] = "result";
inline constexpr char kParameterSha256[] = "parameter_sha256";
inline constexpr char kStoppedAt[] = "stopped_at";
inline constexpr char kHost[] = "host"; // a run's bench; on the server, each record's too
inline constexpr char kWorkOrder[] = "work_order";
inline constexpr char kUnitSerial[] = "unit_serial";
inline constexpr char kUnit[] = "unit";
inline constexpr char kDevice[] = "device";
inline constexpr char kOperator[] = "operator";
inline constexpr char kStation[] = "station";
inline constexpr char kParameterFile[] = "parameter_file";
inline constexpr char kRework[] = "rework";
inline constexpr char kOffline[] = "offline";
inline constexpr char kProduct[] = "product";
inline constexpr char kSetSha256[] = "set_sha256";
inline constexpr char kQuantity[] = "quantity";
inline constexpr char kFirstUsed[] = "first_used";
// The labels waiting for their printer, one per finished record, and every label printed.
inline constexpr char kLabelJobs[] = "label_jobs";
inline constexpr char kLabelPrints[] = "label_prints";
inline constexpr char kJob[] = "job";
inline constexpr char kPrinter[] = "printer";
inline constexpr char kLabelState[] = "state";
inline constexpr char kQueuedAt[] = "queued_at";
inline constexpr char kClaimedBy[] = "claimed_by";
inline constexpr char kAttempts[] = "attempts";
inline constexpr char kLastError[] = "last_error";
inline constexpr char kPrintedAt[] = "printed_at";
inline constexpr char kReprint[] = "reprint";

// The record's columns in the order every statement uses them; the local table has seq before
// them, the server's the bench's host and the time of arrival after them.
std::span<const RecordColumn> RecordColumns();
std::span<const RunColumn> RunColumns();
std::span<const OrderColumn> OrderColumns();

template <typename Row> std::span<const Column<Row>> Columns();
template <> inline std::span<const RecordColumn> Columns<ProductionRecord>() {
    return RecordColumns();
}
template <> inline std::span<const RunColumn> Columns<RunInfo>() {
    return RunColumns();
}
template <> inline std::span<const OrderColumn> Columns<OrderInfo>() {
    return OrderColumns();
}

// "p.a, p.b, p.c" of every column of Row, with prefix "p." (or none).
template <typename Row> QString NameList(const QString& prefix = {}) {
    QStringList names;
    for (const Column<Row>& column : Columns<Row>())
        names << prefix + QLatin1String(column.name);
    return names.join(QLatin1String(", "));
}
// "?, ?, ?" for as many values.
QString Placeholders(qsizetype count);

// "INSERT INTO table(a, b, c) VALUES(?, ?, ?)" over every column of Row, to be bound with BindAll.
template <typename Row> QString InsertInto(const char* table) {
    return QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
        .arg(QLatin1String(table), NameList<Row>(), Placeholders(qsizetype(Columns<Row>().size())));
}

// Binds each column's value of row, after what is bound already.
template <typename Row> void BindAll(QSqlQuery& query, const Row& row) {
    for (const Column<Row>& column : Columns<Row>())
        query.addBindValue(column.read(row));
}

// Fills row from the query's current row, whose values from first on are the columns of Row in
// order. False, with the reason in *error, when a stored value cannot be taken back.
template <typename Row> bool ReadAll(const QSqlQuery& query, int first, Row* row, QString* error) {
    int i = first;
    for (const Column<Row>& column : Columns<Row>()) {
        const QVariant value = query.value(i++);
        if (!column.write(*row, value)) {
            if (error)
                *error = QStringLiteral("the stored %1 \"%2\" is not known")
                             .arg(QLatin1String(column.name), value.toString());
            return false;
        }
    }
    return true;
}

// Entry i takes the local database from version i to version i + 1, inside the transaction that
// then records version i + 1.
using MigrationStep = bool (*)(QSqlQuery&);
std::span<const MigrationStep> LocalMigrationSteps();

// What the server needs, each statement harmless when run again; its caller holds the transaction.
QStringList ServerSchemaStatements();

} // namespace qt2xx::record_schema
