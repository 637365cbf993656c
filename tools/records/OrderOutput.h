#pragma once

#include "record/OrderReport.h"

#include <QString>

namespace qt2xx {

enum class OrderFormat { Text, Csv, Json };

// Prints an order's figures on stdout, then with serials each unit's line as it is read.
bool PrintOrder(const RecordSource& source, const QString& order, OrderFormat format, bool serials,
                QString* error);

} // namespace qt2xx
