#pragma once

#include "platform/core/Result.h"
#include "report/LabelAddress.h"
#include "report/LabelTemplate.h"

#include <chrono>

namespace qt2xx {

// Sends one label to where the address points and waits until it is there: for a printer's raw
// port, until every byte is written and the connection closed. Blocks: call it from a thread of its
// own, never from the one that runs the programming ticks. On a failure the printer holds no whole
// label: a label's ZPL ends with ^XZ, and a printer that did not receive it prints nothing.
Done SendLabel(const LabelAddress& address, const LabelTemplate& zpl, const LabelFields& fields,
               std::chrono::milliseconds timeout);

} // namespace qt2xx
