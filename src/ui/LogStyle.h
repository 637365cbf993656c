#pragma once

class QWidget;

namespace qt2xx {

// The log's frame shows no focus of its own, so a highlighted border does. Like a rich-text box that
// hides its selection while it has no focus, it shows the newest message, which stays selected, in
// its colour; the selection shows only while the operator is in the log.
void StyleStatusLog(QWidget* log);

} // namespace qt2xx
