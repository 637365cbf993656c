#include "record/RecordSource.h"

#include "platform/core/UtcTime.h"
#include "record/SqlResult.h"

namespace qt2xx {

namespace {

using namespace record_schema;

QVariant timeOrNull(const QDateTime& time) {
    return time.isValid() ? QVariant(UtcTimeText(time)) : QVariant(QMetaType::fromType<QString>());
}

// What a read of an older schema gives for a column its version does not have yet: the value the
// migration would give the rows already there.
QString absentColumn(const RecordColumn& column) {
    return QStringLiteral("%1 AS %2")
        .arg(column.type == SqlType::Integer ? QStringLiteral("0") : QStringLiteral("''"),
             QLatin1String(column.name));
}

} // namespace

QString StoredText(const QVariant& value) {
    if (value.typeId() == QMetaType::QDateTime)
        return UtcTimeText(value.toDateTime());
    return value.toString();
}

bool RecordSource::knowsOrders() const {
    return m_version >= (m_side == Side::Local ? kLocalOrdersVersion : kServerOrdersVersion);
}

bool RecordSource::hasColumn(const RecordColumn& column) const {
    return (m_side == Side::Local ? column.localSince : column.serverSince) <= m_version;
}

QString RecordSource::columnValue(const char* name, const QString& prefix) const {
    for (const RecordColumn& column : RecordColumns()) {
        if (qstrcmp(column.name, name) != 0)
            continue;
        if (hasColumn(column))
            return prefix + QLatin1String(name);
        return column.type == SqlType::Integer ? QStringLiteral("0") : QStringLiteral("''");
    }
    return prefix + QLatin1String(name);
}

QString RecordSource::dayOf(const QString& column) const {
    // The local time is UTC text, so its first characters are the day and the hour.
    if (m_side == Side::Local)
        return QStringLiteral("substr(%1, 1, 10)").arg(column);
    return QStringLiteral("to_char(%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD')").arg(column);
}

QString RecordSource::hourOf(const QString& column) const {
    if (m_side == Side::Local)
        return QStringLiteral("substr(%1, 1, 13)").arg(column);
    return QStringLiteral("to_char(%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24')").arg(column);
}

QString RecordSource::recordColumns(bool exportedOnly, const QString& prefix) const {
    QStringList names;
    for (const RecordColumn& column : RecordColumns())
        if (!exportedOnly || column.exported)
            names << (hasColumn(column) ? prefix + QLatin1String(column.name) : absentColumn(column));
    return names.join(QLatin1String(", "));
}

Done RecordSource::forEachRecord(const RecordFilter& filter, bool exportedOnly,
                                 const std::function<Done(const QSqlQuery&)>& row) const {
    QStringList where;
    QVariantList values;
    if (filter.since.isValid()) {
        where << QStringLiteral("%1 >= ?").arg(kRecordedAt);
        values << timeOrNull(filter.since);
    }
    if (filter.until.isValid()) {
        where << QStringLiteral("%1 < ?").arg(kRecordedAt);
        values << timeOrNull(filter.until);
    }
    if (filter.result) {
        where << QStringLiteral("%1 = ?").arg(kResult);
        values << ResultName(*filter.result);
    }
    // The server knows no order of writing across benches: its records go by time.
    const QString order = m_side == Side::Local ? QString::fromLatin1(kSeq)
                                                : QStringLiteral("%1, %2").arg(kRecordedAt, kRecordId);
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
            .arg(recordColumns(exportedOnly), kRecords,
                 where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QLatin1String(" AND ")),
                 order));
    for (const QVariant& value : values)
        q.addBindValue(value);
    if (!q.exec())
        return SqlFailure(q.lastError());
    while (q.next())
        if (Done taken = row(q); !taken)
            return taken;
    if (q.lastError().isValid())
        return SqlFailure(q.lastError());
    return {};
}

Done RecordSource::forEachCount(GroupBy by, const QDateTime& since,
                                const std::function<void(const GroupCount&)>& row) const {
    const QString key = by == GroupBy::Day ? dayOf(QLatin1String(kRecordedAt))
                        : knowsOrders()    ? QString::fromLatin1(kWorkOrder)
                                           : QStringLiteral("''");
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 AS grouped, %2, %3, count(*) FROM %4%5 GROUP BY grouped, %2, %3"
                             " ORDER BY grouped, %2")
                  .arg(key, kParameterSha256, kResult, kRecords,
                       since.isValid() ? QStringLiteral(" WHERE %1 >= ?").arg(kRecordedAt) : QString()));
    if (since.isValid())
        q.addBindValue(timeOrNull(since));
    if (!q.exec())
        return SqlFailure(q.lastError());
    while (q.next()) {
        const std::optional<Outcome> result = OutcomeFromResultName(q.value(2).toString());
        if (!result)
            return Fail(QStringLiteral("a record has the unknown result \"%1\"").arg(q.value(2).toString()));
        row(GroupCount{q.value(0).toString(), q.value(1).toString(), *result, q.value(3).toLongLong()});
    }
    if (q.lastError().isValid())
        return SqlFailure(q.lastError());
    return {};
}

} // namespace qt2xx
