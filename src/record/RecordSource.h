#pragma once

#include "platform/core/Result.h"
#include "record/ProductionRecord.h"
#include "record/RecordSchema.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <functional>
#include <optional>

namespace qt2xx {

// Which records an export reads; an invalid time or an empty result leaves that side open.
struct RecordFilter {
    QDateTime since; // recorded at or after
    QDateTime until; // recorded before
    std::optional<Outcome> result;
};

// Counts of each result per key (a day, yyyy-MM-dd UTC, or a work order) and parameter set.
struct GroupCount {
    QString key;
    QString parameterSha256;
    Outcome result = Outcome::Finished;
    qint64 count = 0;
};

// Where the record is read from: one bench's database or the central server, with the schema
// version it was found at. The queries are the same for both but for how a time is kept (UTC text
// locally, a timestamp on the server) and which columns an older version lacks.
class RecordSource {
public:
    enum class Side { Local, Server };
    RecordSource(QSqlDatabase db, Side side, int version)
        : m_db(std::move(db)), m_side(side), m_version(version) {}

    QSqlDatabase database() const { return m_db; }
    Side side() const { return m_side; }
    // Whether the records say which order and serial each unit was.
    bool knowsOrders() const;
    bool hasColumn(const record_schema::RecordColumn& column) const;
    // A record column in an expression, with prefix "r." when given; for a version that lacks it,
    // the value the migration gives the rows already there.
    QString columnValue(const char* name, const QString& prefix = {}) const;

    // SQL for the UTC day ("2026-12-07") and hour ("2026-12-07T22") of a time column.
    QString dayOf(const QString& column) const;
    QString hourOf(const QString& column) const;
    // The columns of a record as a select list, with what the migration would give for those the
    // version lacks; with prefix "r." when given.
    QString recordColumns(bool exportedOnly, const QString& prefix = {}) const;

    // The records in the order they were written (on the server: by time), one row at a time. A
    // row that fails stops the reading with its reason.
    Done forEachRecord(const RecordFilter& filter, bool exportedOnly,
                       const std::function<Done(const QSqlQuery&)>& row) const;
    // Counts per day and set, or per order and set, ordered by key then set.
    enum class GroupBy { Day, Order };
    Done forEachCount(GroupBy by, const QDateTime& since,
                      const std::function<void(const GroupCount&)>& row) const;

private:
    QSqlDatabase m_db;
    Side m_side;
    int m_version;
};

// A stored value as the record's text: a time the server hands back as a timestamp is written as
// the local file keeps it.
QString StoredText(const QVariant& value);

} // namespace qt2xx
