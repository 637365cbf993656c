#pragma once

#include <QDateTime>
#include <QString>

namespace qt2xx {

// A time as the record, the JSON lines and the reports write it: UTC, ISO 8601 with milliseconds,
// "2026-12-07T22:49:32.822Z".
QString UtcTimeText(const QDateTime& time);
// Reads such a text back; also accepts a date alone or a time without milliseconds or zone (UTC).
// Invalid for anything else.
QDateTime ParseUtcTime(const QString& text);

} // namespace qt2xx
