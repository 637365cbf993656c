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
    static Result<std::unique_ptr<RecordStore>> open(const QString& path, OpenMode mode = OpenMode::Create);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    QString path() const { return m_path; }
    // The schema version of the file as opened; older than kSchemaVersion only when read-only.
    int schemaVersion() const { return m_version; }

    Done beginRun(const RunInfo& run);
    Done endRun(const QString& runId, const QDateTime& stoppedAt);
    // A record already stored under its record id is kept as it is and counts as written.
    Done append(const ProductionRecord& record);
    // The same, and for a finished record its label job for the printer, in one transaction: a
    // label waits exactly when its record is durable, and never for a failure.
    Done appendWithLabel(const ProductionRecord& record, const QString& printer);

    // In the order they were written.
    Result<std::vector<ProductionRecord>> records(const RecordFilter& filter) const;
    // What the reports read, at the version the file was opened.
    RecordSource source() const { return RecordSource(m_db, RecordSource::Side::Local, m_version); }
    // Empty when no run has that id.
    Result<std::optional<RunInfo>> run(const QString& runId) const;

    // Keeps an order the first time a run programs for it; an order kept already stays as it was.
    Done noteOrder(const OrderInfo& order);
    // Empty when the order was never kept.
    Result<std::optional<OrderInfo>> order(const QString& id) const;
    // Distinct units finished for the order: distinct serials where units have serials, finished
    // records otherwise.
    Result<qint64> unitsFinished(const QString& order) const;
    // Whether a unit with this serial has a finished record, for any order.
    Result<bool> serialFinished(const QString& serial) const;

    // The connection, for steps that extend the schema.
    QSqlDatabase& database() { return m_db; }

private:
    RecordStore(QString path, QString connection);
    Done prepare();
    Done check();

    int m_version = 0;
    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
};

// Where the record is kept when no path is given: records.sqlite in the user's data folder for qt2xx.
QString DefaultRecordDatabase();

} // namespace qt2xx
