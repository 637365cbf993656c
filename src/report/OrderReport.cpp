#include "report/OrderReport.h"

#include "platform/core/UtcTime.h"
#include "record/SqlResult.h"

#include <QFileInfo>
#include <QSqlQuery>

namespace qt2xx {

namespace {

using namespace record_schema;

// The scope as a condition on the records aliased r, and the values it binds in their order.
struct Condition {
    QString sql;
    QVariantList values;
};

Condition conditionOf(const ReportScope& scope) {
    Condition c;
    QStringList parts;
    if (scope.orderId) {
        parts << QStringLiteral("r.%1 = ?").arg(kWorkOrder);
        c.values << *scope.orderId;
    }
    if (scope.parameterSha256) {
        parts << QStringLiteral("r.%1 = ?").arg(kParameterSha256);
        c.values << *scope.parameterSha256;
    }
    if (scope.since.isValid()) {
        parts << QStringLiteral("r.%1 >= ?").arg(kRecordedAt);
        c.values << UtcTimeText(scope.since);
    }
    if (scope.until.isValid()) {
        parts << QStringLiteral("r.%1 < ?").arg(kRecordedAt);
        c.values << UtcTimeText(scope.until);
    }
    c.sql = parts.isEmpty() ? QStringLiteral("1 = 1") : parts.join(QLatin1String(" AND "));
    return c;
}

// Another record of the same unit (same order and serial) that comes before r; "after" for later.
QString otherAttempt(const char* alias, bool after) {
    return QStringLiteral("SELECT 1 FROM %1 %2 WHERE %2.%3 = r.%3 AND %2.%4 = r.%4 AND (%2.%5 %6 r.%5 OR "
                          "(%2.%5 = r.%5 AND %2.%7 %6 r.%7))")
        .arg(kRecords, QLatin1String(alias), kWorkOrder, kUnitSerial, kRecordedAt,
             after ? QStringLiteral(">") : QStringLiteral("<"), kRecordId);
}

Done run(QSqlQuery& q, const QString& sql, const QVariantList& values) {
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return SqlFailure(q.lastError());
    for (const QVariant& value : values)
        q.addBindValue(value);
    if (!q.exec())
        return SqlFailure(q.lastError());
    return {};
}

// Whether the rows of q were read to their end, or the reason they were not.
Done readToEnd(const QSqlQuery& q) {
    if (q.lastError().isValid())
        return SqlFailure(q.lastError());
    return {};
}

// Runs a query and hands each row to `row`.
Done forEachRow(const RecordSource& source, const QString& sql, const QVariantList& values,
                const std::function<void(const QSqlQuery&)>& row) {
    QSqlQuery q(source.database());
    if (Done ran = run(q, sql, values); !ran)
        return ran;
    while (q.next())
        row(q);
    return readToEnd(q);
}

QString finishedName() {
    return ResultName(Outcome::Finished);
}

// Units finished, attempts failed, units tried, the time span and the set of the lot.
Done readCounts(const RecordSource& source, const Condition& c, OrderFigures* out, int* sets) {
    QSqlQuery q(source.database());
    const QString sql =
        QStringLiteral(
            "SELECT count(DISTINCT CASE WHEN r.%1 <> '' AND r.%2 = ? THEN r.%1 END) + "
            "count(CASE WHEN r.%1 = '' AND r.%2 = ? THEN 1 END), count(CASE WHEN r.%2 <> ? THEN 1 END), "
            "count(DISTINCT CASE WHEN r.%1 <> '' THEN r.%1 END) + count(CASE WHEN r.%1 = '' THEN 1 END), "
            "min(r.%3), max(r.%3), count(DISTINCT r.%4), max(r.%4) FROM %5 r WHERE %6")
            .arg(kUnitSerial, kResult, kRecordedAt, kParameterSha256, kRecords, c.sql);
    if (Done ran = run(q, sql, QVariantList{finishedName(), finishedName(), finishedName()} + c.values); !ran)
        return ran;
    if (!q.next())
        return readToEnd(q);
    out->lot.unitsFinished = q.value(0).toInt();
    out->lot.attemptsFailed = q.value(1).toInt();
    out->unitsTried = q.value(2).toInt();
    out->lot.first = ParseUtcTime(StoredText(q.value(3)));
    out->lot.last = ParseUtcTime(StoredText(q.value(4)));
    *sets = q.value(5).toInt();
    out->lot.parameterSha256 = *sets == 1 ? q.value(6).toString() : QString();
    return {};
}

// Units whose first attempt finished them.
Done readFirstPass(const RecordSource& source, const Condition& c, int* count) {
    QSqlQuery q(source.database());
    const QString sql =
        QStringLiteral("SELECT count(*) FROM %1 r WHERE %2 AND r.%3 = ? AND (r.%4 = '' OR NOT "
                       "EXISTS (%5))")
            .arg(kRecords, c.sql, kResult, kUnitSerial, otherAttempt("e", false));
    if (Done ran = run(q, sql, c.values + QVariantList{finishedName()}); !ran)
        return ran;
    if (!q.next())
        return readToEnd(q);
    *count = q.value(0).toInt();
    return {};
}

Done readDistinct(const RecordSource& source, const Condition& c, const char* column, QStringList* out) {
    return forEachRow(source,
                      QStringLiteral("SELECT DISTINCT r.%1 FROM %2 r WHERE %3 AND r.%1 <> '' ORDER BY r.%1")
                          .arg(QLatin1String(column), kRecords, c.sql),
                      c.values, [out](const QSqlQuery& q) { *out << q.value(0).toString(); });
}

Done readHours(const RecordSource& source, const Condition& c, QList<HourCount>* out) {
    const QString sql =
        QStringLiteral("SELECT %1 AS hour, count(DISTINCT CASE WHEN r.%2 <> '' THEN r.%2 ELSE "
                       "r.%3 END) FROM %4 r WHERE %5 AND r.%6 = ? GROUP BY hour ORDER BY hour")
            .arg(source.hourOf(QStringLiteral("r.") + QLatin1String(kRecordedAt)), kUnitSerial, kRecordId,
                 kRecords, c.sql, kResult);
    return forEachRow(source, sql, c.values + QVariantList{finishedName()}, [out](const QSqlQuery& q) {
        *out << HourCount{ParseUtcTime(q.value(0).toString() + QStringLiteral(":00:00")), q.value(1).toInt()};
    });
}

Done readFailures(const RecordSource& source, const Condition& c, QList<KindCount>* out) {
    const QString sql =
        QStringLiteral("SELECT r.%1, count(*) FROM %2 r WHERE %3 AND r.%1 <> ? GROUP BY r.%1 ORDER BY r.%1")
            .arg(kResult, kRecords, c.sql);
    return forEachRow(source, sql, c.values + QVariantList{finishedName()}, [out](const QSqlQuery& q) {
        *out << KindCount{q.value(0).toString(), q.value(1).toInt()};
    });
}

// Each serial with more than one finished record that is not a rework, with where each was made
// and whether any was made offline. Few rows: only the duplicates' records are read.
Done readDuplicates(const RecordSource& source, const Condition& c, QList<DuplicateSerial>* out) {
    const auto finished = [](const char* alias) {
        return QStringLiteral("%1.%2 = ? AND %1.%3 = 0").arg(QLatin1String(alias), kResult, kRework);
    };
    const QString sql =
        QStringLiteral("SELECT r.%1, r.%2, %3 FROM %4 r WHERE %5 AND r.%1 <> '' AND %6 AND EXISTS (SELECT 1 "
                       "FROM %4 d WHERE d.%7 = r.%7 AND d.%1 = r.%1 AND %8 AND d.%9 <> r.%9) ORDER BY r.%1, "
                       "r.%2")
            .arg(kUnitSerial, kStation, source.columnValue(kOffline, QStringLiteral("r.")), kRecords, c.sql,
                 finished("r"), kWorkOrder, finished("d"), kRecordId);
    return forEachRow(source, sql, c.values + QVariantList{finishedName(), finishedName()},
                      [out](const QSqlQuery& q) {
                          const QString serial = q.value(0).toString();
                          if (out->isEmpty() || out->last().serial != serial)
                              out->append(DuplicateSerial{serial, 0, {}, false});
                          DuplicateSerial& duplicate = out->last();
                          ++duplicate.finished;
                          const QString station = q.value(1).toString();
                          if (!duplicate.stations.contains(station))
                              duplicate.stations << station;
                          duplicate.offline = duplicate.offline || q.value(2).toInt() != 0;
                      });
}

// The file and the 26 texts of the set, from the lot's last record and its run.
Done readSet(const RecordSource& source, const Condition& c, LotFigures* lot) {
    QSqlQuery q(source.database());
    if (Done ran =
            run(q,
                QStringLiteral("SELECT r.%1, r.%2 FROM %3 r WHERE %4 ORDER BY r.%5 DESC, r.%6 DESC LIMIT 1")
                    .arg(kRunId, kParameterFile, kRecords, c.sql, kRecordedAt, kRecordId),
                c.values);
        !ran)
        return ran;
    if (!q.next())
        return readToEnd(q);
    const QString runId = q.value(0).toString();
    lot->setFile = QFileInfo(q.value(1).toString()).fileName();
    q.finish();
    if (Done ran =
            run(q, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(NameList<RunInfo>(), kRuns, kRunId),
                {runId});
        !ran)
        return ran;
    RunInfo info;
    // A run whose texts cannot be read leaves the set's texts out of the report.
    if (q.next() && ReadAll(q, 0, &info, nullptr))
        lot->parameters = info.parameters;
    return {};
}

Done readOrder(const RecordSource& source, const QString& id, LotFigures* lot) {
    QSqlQuery q(source.database());
    if (Done ran = run(
            q,
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(NameList<OrderInfo>(), kOrders, kWorkOrder),
            {id});
        !ran)
        return ran;
    OrderInfo info;
    if (q.next()) {
        // An order's columns hold no word that could be unknown.
        ReadAll(q, 0, &info, nullptr);
        lot->product = info.product;
        lot->quantity = info.quantity;
    }
    return {};
}

} // namespace

namespace {

// A period's report leaves out what its tables give (the first-pass units, the stations) or what it
// shows otherwise (per hour), so that the month's records are read as few times as possible.
Result<OrderFigures> readFigures(const RecordSource& source, const ReportScope& scope, bool period) {
    OrderFigures out;
    if (!source.knowsOrders())
        return out;
    const Condition c = conditionOf(scope);
    int sets = 0;
    int firstPass = 0;
    LotFigures& lot = out.lot;
    lot.orderId = scope.orderId.value_or(QString());
    if (Done counted = readCounts(source, c, &out, &sets); !counted)
        return Fail(counted.error());
    if (out.unitsTried == 0)
        return out;
    Done read = period ? Done() : readFirstPass(source, c, &firstPass);
    if (read && !period)
        read = readDistinct(source, c, kStation, &lot.stations);
    if (read)
        read = readDistinct(source, c, kOperator, &lot.operators);
    if (read && !period)
        read = readHours(source, c, &lot.finishedPerHour);
    if (read && !period)
        read = readDuplicates(source, c, &lot.duplicates);
    if (read)
        read = readFailures(source, c, &lot.failuresByKind);
    if (read)
        read = readSet(source, c, &lot);
    if (!read)
        return Fail(read.error());
    if (sets != 1)
        lot.parameters.clear();
    lot.firstPassYield = double(firstPass) / double(out.unitsTried);
    if (scope.orderId && !scope.orderId->isEmpty())
        if (Done read = readOrder(source, *scope.orderId, &lot); !read)
            return Fail(read.error());
    return out;
}

} // namespace

Result<OrderFigures> ReadOrderFigures(const RecordSource& source, const ReportScope& scope) {
    return readFigures(source, scope, false);
}

namespace {

// The records that stand for a unit in the table: a serial's last attempt, or a record without one.
// Only those that failed when `unfinished`, which binds the finished result after the scope's values.
QString unitRows(const Condition& c, bool unfinished = false) {
    const QString last =
        QStringLiteral("(r.%1 = '' OR NOT EXISTS (%2))").arg(kUnitSerial, otherAttempt("l", true));
    // Only a failed record is looked at further: the later attempts of every record would cost a
    // month's report seconds.
    return QStringLiteral("FROM %1 r WHERE %2 AND %3")
        .arg(kRecords, c.sql,
             unfinished ? QStringLiteral("CASE WHEN r.%1 <> ? THEN %2 ELSE false END").arg(kResult, last)
                        : last);
}

// Each unit row in the order units were last tried, at most `limit` of them when it is not negative.
Done forEachUnit(const RecordSource& source, const Condition& c, bool unfinished, int limit,
                 const std::function<void(const LotUnit&)>& unit) {
    const QString attempts = QStringLiteral("SELECT count(*) FROM %1 a WHERE a.%2 = r.%2 AND a.%3 = r.%3")
                                 .arg(kRecords, kWorkOrder, kUnitSerial);
    const QString sql =
        QStringLiteral(
            "SELECT r.%1, r.%2, r.%3, r.%4, r.%5, r.%6, r.%7, r.%8, CASE WHEN r.%1 = '' THEN 1 ELSE "
            "(%9) END %10 ORDER BY r.%5, r.%11")
            .arg(kUnitSerial, kUnit, kWorkOrder, kResult, kRecordedAt, kStation, kDevice, kOperator, attempts)
            .arg(unitRows(c, unfinished), kRecordId);
    QVariantList values = c.values;
    if (unfinished)
        values << finishedName();
    if (limit >= 0)
        values << limit;
    return forEachRow(
        source, limit >= 0 ? sql + QStringLiteral(" LIMIT ?") : sql, values, [&unit](const QSqlQuery& q) {
            unit(LotUnit{q.value(0).toString(), q.value(1).toInt(), q.value(2).toString(),
                         q.value(3).toString(), q.value(8).toInt(), ParseUtcTime(StoredText(q.value(4))),
                         q.value(5).toString(), q.value(6).toString(), q.value(7).toString()});
        });
}

} // namespace

Result<qint64> CountLotUnits(const RecordSource& source, const ReportScope& scope) {
    if (!source.knowsOrders())
        return qint64(0);
    const Condition c = conditionOf(scope);
    QSqlQuery q(source.database());
    if (Done ran = run(q, QStringLiteral("SELECT count(*) ") + unitRows(c), c.values); !ran)
        return Fail(ran.error());
    if (!q.next())
        return SqlFailure(q.lastError());
    return q.value(0).toLongLong();
}

Done ForEachLotUnit(const RecordSource& source, const ReportScope& scope,
                    const std::function<void(const LotUnit&)>& unit) {
    if (!source.knowsOrders())
        return {};
    return forEachUnit(source, conditionOf(scope), false, -1, unit);
}

namespace {

// A period longer than this shows its trend per day: a month per hour would fill pages.
constexpr qint64 kLongestHourlyTrend = 48 * 3600;

// Per group: units tried, units finished, attempts failed, units finished at their first attempt.
// Binds the finished result four times, before the scope's values.
QString groupCounts() {
    return QStringLiteral(
               "count(DISTINCT CASE WHEN r.%1 <> '' THEN r.%1 END) + count(CASE WHEN r.%1 = '' THEN 1 END), "
               "count(DISTINCT CASE WHEN r.%1 <> '' AND r.%2 = ? THEN r.%1 END) + "
               "count(CASE WHEN r.%1 = '' AND r.%2 = ? THEN 1 END), count(CASE WHEN r.%2 <> ? THEN 1 END), "
               "count(CASE WHEN r.%2 = ? AND (r.%1 = '' OR NOT EXISTS (%3)) THEN 1 END)")
        .arg(kUnitSerial, kResult, otherAttempt("e", false));
}

QVariantList groupCountValues(const Condition& c) {
    return QVariantList{finishedName(), finishedName(), finishedName(), finishedName()} + c.values;
}

// The four counts of groupCounts() from column `at` on.
void readGroupCounts(const QSqlQuery& q, int at, GroupFigures* out) {
    out->unitsTried = q.value(at).toInt();
    out->unitsFinished = q.value(at + 1).toInt();
    out->attemptsFailed = q.value(at + 2).toInt();
    out->unitsFirstPass = q.value(at + 3).toInt();
    out->firstPassYield = out->unitsTried > 0 ? double(out->unitsFirstPass) / out->unitsTried : 0;
}

// Each order and set the scope covers, in the order each was first tried.
Done readGroups(const RecordSource& source, const Condition& c, QList<GroupFigures>* out) {
    const QString sql =
        QStringLiteral("SELECT r.%1, r.%2, max(r.%3), %4, min(r.%5) AS first FROM %6 r WHERE %7 "
                       "GROUP BY r.%1, r.%2 ORDER BY first")
            .arg(kWorkOrder, kParameterSha256, kParameterFile, groupCounts(), kRecordedAt, kRecords, c.sql);
    return forEachRow(source, sql, groupCountValues(c), [out](const QSqlQuery& q) {
        GroupFigures group;
        group.orderId = q.value(0).toString();
        group.parameterSha256 = q.value(1).toString();
        group.setFile = QFileInfo(q.value(2).toString()).fileName();
        readGroupCounts(q, 3, &group);
        *out << group;
    });
}

// Per station its attempts: a unit tried at several stations has no one station's first pass.
Done readStations(const RecordSource& source, const Condition& c, QList<GroupFigures>* out) {
    const QString sql =
        QStringLiteral("SELECT r.%1, count(*), count(CASE WHEN r.%2 = ? THEN 1 END) FROM %3 r "
                       "WHERE %4 GROUP BY r.%1 ORDER BY r.%1")
            .arg(kStation, kResult, kRecords, c.sql);
    return forEachRow(source, sql, QVariantList{finishedName()} + c.values, [out](const QSqlQuery& q) {
        GroupFigures station;
        station.station = q.value(0).toString();
        station.attempts = q.value(1).toInt();
        station.unitsFinished = q.value(2).toInt();
        station.attemptsFailed = station.attempts - station.unitsFinished;
        *out << station;
    });
}

Done readTrend(const RecordSource& source, const Condition& c, bool daily, QList<TrendCount>* out) {
    const QString time = QStringLiteral("r.") + QLatin1String(kRecordedAt);
    const QString sql =
        QStringLiteral("SELECT %1 AS bucket, count(CASE WHEN r.%2 = ? THEN 1 END), count(CASE "
                       "WHEN r.%2 <> ? THEN 1 END) FROM %3 r WHERE %4 GROUP BY bucket ORDER BY "
                       "bucket")
            .arg(daily ? source.dayOf(time) : source.hourOf(time), kResult, kRecords, c.sql);
    const QString rest = daily ? QStringLiteral("T00:00:00") : QStringLiteral(":00:00");
    return forEachRow(source, sql, QVariantList{finishedName(), finishedName()} + c.values,
                      [&](const QSqlQuery& q) {
                          *out << TrendCount{ParseUtcTime(q.value(0).toString() + rest), q.value(1).toInt(),
                                             q.value(2).toInt()};
                      });
}

// The units whose last attempt in scope failed: how many, and the first `listed` of them.
Done readUnfinished(const RecordSource& source, const ReportScope& scope, int listed, LotReport* out) {
    const Condition c = conditionOf(scope);
    QSqlQuery q(source.database());
    if (Done ran = run(q, QStringLiteral("SELECT count(*) ") + unitRows(c, true),
                       c.values + QVariantList{finishedName()});
        !ran)
        return ran;
    if (!q.next())
        return readToEnd(q);
    out->unfinishedCount = q.value(0).toLongLong();
    q.finish();
    return forEachUnit(source, c, true, listed, [out](const LotUnit& unit) { out->unfinished << unit; });
}

// The period's tables: per order and set, per station, the trend and the units never finished.
Done readPeriod(const RecordSource& source, const ReportScope& scope, int unfinishedListed, LotReport* out) {
    const Condition c = conditionOf(scope);
    out->dailyTrend = out->periodStart.secsTo(out->periodEnd) > kLongestHourlyTrend;
    Done read = readGroups(source, c, &out->groups);
    if (read)
        read = readStations(source, c, &out->stations);
    if (read)
        read = readTrend(source, c, out->dailyTrend, &out->trend);
    if (read)
        read = readUnfinished(source, scope, unfinishedListed, out);
    return read;
}

} // namespace

Result<std::optional<LotReport>> ReadLotReport(const RecordSource& source, LotReport::Kind kind,
                                               const ReportScope& scope, int unfinishedListed) {
    LotReport out;
    out.kind = kind;
    out.periodStart = scope.since;
    out.periodEnd = scope.until;
    const Result<OrderFigures> figures = readFigures(source, scope, kind == LotReport::Kind::Period);
    if (!figures)
        return Fail(figures.error());
    if (figures->unitsTried == 0)
        return std::optional<LotReport>();
    out.total = figures->lot;
    if (kind == LotReport::Kind::Period) {
        out.periodClosed = out.periodEnd.isValid();
        if (!out.periodClosed)
            out.periodEnd = figures->lot.last;
        if (!out.periodStart.isValid())
            out.periodStart = figures->lot.first;
        out.unitTable = false;
        if (Done read = readPeriod(source, scope, unfinishedListed, &out); !read)
            return Fail(read.error());
        // The groups part the records, and whether an attempt was a unit's first does not depend on
        // its group: their first-pass units add up to the period's.
        int firstPass = 0;
        for (const GroupFigures& group : out.groups)
            firstPass += group.unitsFirstPass;
        out.total.firstPassYield = double(firstPass) / double(figures->unitsTried);
        for (const GroupFigures& station : out.stations)
            if (!station.station.isEmpty())
                out.total.stations << station.station;
    }
    return std::optional(std::move(out));
}

} // namespace qt2xx
