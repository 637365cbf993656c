#pragma once

#include "params/FrameHex.h"
#include "platform/core/Result.h"
#include "platform/core/UtcTime.h"
#include "record/ProductionRecord.h"
#include "record/RecordSchema.h"
#include "record/RecordSource.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qt2xx {

// The production record in one SQLite file: the runs and one row per controller outcome. One
// connection, used on the thread that opened it. Every write is its own transaction, committed with
// synchronous=FULL before the call returns, so several programs may write one file at once.
class RecordStore {
public:
    static constexpr int kSchemaVersion = record_schema::kLocalVersion;

    enum class OpenMode {
        Create,    // creates the file and its folder when missing
        MustExist, // a missing file is an error
        // For programs that only read: never writes, migrates or changes the journal mode, and
        // reads a file of an older version as it is.
        ReadOnly,
    };

    // Opens the database, migrating an older schema unless it only reads. A newer schema, a file
    // that is no database or a folder that cannot be written is refused with a one-line reason and
    // nothing is written.
    static std::unique_ptr<RecordStore> open(const QString& path, QString* error,
                                             OpenMode mode = OpenMode::Create);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    QString path() const { return m_path; }
    // The schema version of the file as opened; older than kSchemaVersion only when read-only.
    int schemaVersion() const { return m_version; }

    bool beginRun(const RunInfo& run, QString* error);
    bool endRun(const QString& runId, const QDateTime& stoppedAt, QString* error);
    // A record already stored under its record id is kept as it is and counts as written.
    bool append(const ProductionRecord& record, QString* error);
    // The same, and for a finished record its label job for the printer, in one transaction: a
    // label waits exactly when its record is durable, and never for a failure.
    Done appendWithLabel(const ProductionRecord& record, const QString& printer);

    // In the order they were written.
    std::vector<ProductionRecord> records(const RecordFilter& filter, QString* error) const;
    // The same, one row at a time as it is read: the query's values are the record columns in their
    // declared order, or only the exported ones. Stops early, and returns false, when row does.
    enum class Fields { All, Exported };
    bool forEachRecord(const RecordFilter& filter, Fields fields,
                       const std::function<bool(const QSqlQuery&)>& row, QString* error) const;
    // Counts of each result per day (UTC) and parameter set, ordered by day then set.
    bool forEachDayCount(const QDateTime& since, const std::function<void(const GroupCount&)>& row,
                         QString* error) const;
    // What the reports read, at the version the file was opened.
    RecordSource source() const { return RecordSource(m_db, RecordSource::Side::Local, m_version); }
    std::optional<RunInfo> run(const QString& runId, QString* error) const;

    // Keeps an order the first time a run programs for it; an order kept already stays as it was.
    bool noteOrder(const OrderInfo& order, QString* error);
    std::optional<OrderInfo> order(const QString& id, QString* error) const;
    // Distinct units finished for the order: distinct serials where units have serials, finished
    // records otherwise; -1 when it cannot be read.
    qint64 unitsFinished(const QString& order, QString* error) const;
    // Whether a unit with this serial has a finished record, for any order; empty when it cannot be
    // read.
    std::optional<bool> serialFinished(const QString& serial, QString* error) const;

    // The connection, for steps that extend the schema.
    QSqlDatabase& database() { return m_db; }

private:
    RecordStore(QString path, QString connection);
    bool prepare(QString* error);
    bool check(QString* error);

    int m_version = 0;
    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
};

// Where the record is kept when no path is given: records.sqlite in the user's data folder for qt2xx.
QString DefaultRecordDatabase();

} // namespace qt2xx
