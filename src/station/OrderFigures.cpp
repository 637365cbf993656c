#include "station/OrderFigures.h"

#include "record/ProductionRecord.h"
#include "record/RecordSchema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace qt2xx {

std::optional<double> UnitCounts::firstPassYield() const {
    if (unitsTried == 0)
        return std::nullopt;
    return double(firstPass) / double(unitsTried);
}

void OrderTally::add(const QString& serial, bool finished) {
    if (!finished)
        ++m_counts.attemptsFailed;
    if (serial.isEmpty()) {
        ++m_counts.unitsTried;
        m_counts.unitsFinished += finished ? 1 : 0;
        m_counts.firstPass += finished ? 1 : 0;
        return;
    }
    const auto known = m_finished.find(serial);
    if (known == m_finished.end()) {
        ++m_counts.unitsTried;
        m_counts.unitsFinished += finished ? 1 : 0;
        m_counts.firstPass += finished ? 1 : 0;
        m_finished.insert(serial, finished);
    } else if (finished && !*known) {
        ++m_counts.unitsFinished;
        *known = true;
    }
}

Result<OrderTally> ReadOrderTally(const QSqlDatabase& db, const QString& order) {
    using namespace record_schema;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql = QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ? ORDER BY %5, %6")
                            .arg(kUnitSerial, kResult, kRecords, kWorkOrder, kRecordedAt, kRecordId);
    if (!q.prepare(sql))
        return Fail(q.lastError().text());
    q.addBindValue(order);
    if (!q.exec())
        return Fail(q.lastError().text());
    OrderTally tally;
    const QString finished = ResultName(Outcome::Finished);
    while (q.next())
        tally.add(q.value(0).toString(), q.value(1).toString() == finished);
    if (q.lastError().isValid())
        return Fail(q.lastError().text());
    return tally;
}

} // namespace qt2xx
