#pragma once

#include "platform/core/Result.h"
#include "report/LotReport.h"

#include <QString>

#include <functional>

namespace qt2xx {

// Draws the report as an A4 PDF at `path`. The file is written whole or not at all: on failure
// nothing is left at `path` that was not there before, and the failure names the path and the reason.
// Needs a QGuiApplication (the offscreen platform does).
Done WriteLotReportPdf(const LotReport& report, const QString& path);

// Hands each unit of the table to `unit`, in order, or says why they cannot be read.
using LotUnitReader = std::function<Done(const std::function<void(const LotUnit&)>& unit)>;
// The same with the units read as their pages are drawn rather than held in report.units, so that
// memory stays flat for a period of many units. unitCount is how many `units` will hand over.
Done WriteLotReportPdf(const LotReport& report, qsizetype unitCount, const LotUnitReader& units,
                       const QString& path);

} // namespace qt2xx
