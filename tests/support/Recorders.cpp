#include "support/Recorders.h"

namespace qt2xx::test {

QStringList RecordingLog::texts() const {
    QStringList out;
    for (const LogLine& line : lines)
        out << line.text;
    return out;
}

void CountingLog::ReceiveDisplay(const QString& strAdd, LogColor intColor) {
    if (m_forward)
        m_forward->ReceiveDisplay(strAdd, intColor);
    counts[strAdd] += 1;
    colors[strAdd] = intColor;
    if (intColor == kLogRed)
        ++redCount;
    onMessage(strAdd, intColor);
}

QStringList RecordingMessageBox::texts() const {
    QStringList out;
    for (const ShownBox& box : shown)
        out << box.text;
    return out;
}

} // namespace qt2xx::test
