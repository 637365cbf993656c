#pragma once

#include "report/OrderReport.h"

#include <QString>

namespace qt2xx {

enum class OrderFormat { Text, Csv, Json };

// Prints an order's figures on stdout, then with serials each unit's line as it is read.
Done PrintOrder(const RecordSource& source, const QString& order, OrderFormat format, bool serials);

} // namespace qt2xx
