#pragma once

#include "report/LabelPrinter.h"
#include "station/LabelSink.h"

namespace qt2xx {

// The session's label printers for a program that prints labels: reads the address and the template
// (the default label without one) and starts a LabelPrinter on the record database. A pdf: address
// needs a QGuiApplication, offscreen is enough, and is refused without one.
// A printer at the bench is near: once it answers again, a label should not lag its unit by long.
inline constexpr LabelPrinter::Timing kBenchLabelTiming{std::chrono::milliseconds(500),
                                                        std::chrono::seconds(2), std::chrono::seconds(1),
                                                        std::chrono::seconds(5)};
LabelSinkFactory LabelPrinterSinks(LabelPrinter::Timing timing = kBenchLabelTiming);

} // namespace qt2xx
