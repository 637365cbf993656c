#pragma once

#include "platform/core/Result.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace qt2xx {

// An order's figures as the record defines them. A unit is a serial, or a record without one; an
// attempt is a record. Interrupted exchanges leave no record and count nowhere.
struct UnitCounts {
    int unitsFinished = 0;  // units with a finished attempt
    int attemptsFailed = 0; // attempts that did not finish
    int unitsTried = 0;
    int firstPass = 0; // units whose first attempt finished them

    // First-pass yield: units finished at their first attempt over units tried; empty before any.
    std::optional<double> firstPassYield() const;
};

// Counts the attempts at an order's units in the order they were made.
class OrderTally {
public:
    // One attempt: the unit's serial (empty: a unit of its own) and whether it finished.
    void add(const QString& serial, bool finished);
    const UnitCounts& counts() const { return m_counts; }

private:
    UnitCounts m_counts;
    QHash<QString, bool> m_finished; // each serial tried, and whether it has finished
};

// The tally of an order's records in a database, read in the order they were recorded.
Result<OrderTally> ReadOrderTally(const QSqlDatabase& db, const QString& order);

} // namespace qt2xx
