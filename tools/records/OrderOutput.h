#pragma once

#include "forward/ClaimStore.h"
#include "report/OrderReport.h"

#include <QString>

namespace qt2xx {

enum class OrderFormat { Text, Csv, Json };

// The order in the whole plant, shown with its figures: the server's progress, and with bench the
// finished units of the records read as this bench's share.
struct PlantFigures {
    OrderProgress progress;
    bool bench = false;
};

// Prints an order's figures on stdout, then with serials each unit's line as it is read.
Done PrintOrder(const RecordSource& source, const QString& order, OrderFormat format, bool serials,
                const std::optional<PlantFigures>& plant = std::nullopt);

} // namespace qt2xx
