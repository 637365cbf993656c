#pragma once

#include "platform/core/Result.h"
#include "record/RecordSource.h"
#include "report/LotReport.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace qt2xx {

// Which records a report covers: one order, one order and set, or a period. An empty side is open.
struct ReportScope {
    std::optional<QString> orderId; // records without an order have the empty text
    std::optional<QString> parameterSha256;
    QDateTime since; // recorded at or after
    QDateTime until; // recorded before
};

// A lot's figures and how many units were tried (0: nothing in scope).
struct OrderFigures {
    LotFigures lot;
    int unitsTried = 0;
    int remaining() const { return std::max(0, lot.quantity - lot.unitsFinished); }
};

// Each figure is aggregated by the database, so memory stays the same whatever the number of
// records. The order's product and quantity come from the orders the record keeps; the set's texts
// from the run of the lot's last record, when the lot ran one set only.
Result<OrderFigures> ReadOrderFigures(const RecordSource& source, const ReportScope& scope);

// One line per unit, in the order units were last tried: a serial's last attempt with the number of
// attempts it took, or a unit without a serial as its one record.
Done ForEachLotUnit(const RecordSource& source, const ReportScope& scope,
                    const std::function<void(const LotUnit&)>& unit);

// How many lines ForEachLotUnit gives.
Result<qint64> CountLotUnits(const RecordSource& source, const ReportScope& scope);

// How many of a period's units that never finished its report lists; the rest it counts.
inline constexpr int kUnfinishedListed = 300;

// The report of one order, or of a period with its tables per order and set, station and hour (or
// day) and its first `unfinishedListed` units that never finished, without the table of every unit:
// the writer reads those as it draws (ForEachLotUnit). Empty when no record is in scope.
Result<std::optional<LotReport>> ReadLotReport(const RecordSource& source, LotReport::Kind kind,
                                               const ReportScope& scope,
                                               int unfinishedListed = kUnfinishedListed);

} // namespace qt2xx
