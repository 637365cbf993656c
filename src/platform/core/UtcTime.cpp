#include "platform/core/UtcTime.h"

#include <QTimeZone>

namespace qt2xx {

QString UtcTimeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime ParseUtcTime(const QString& text) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return {};
        return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    }
    if (time.timeSpec() == Qt::LocalTime)
        time.setTimeZone(QTimeZone::utc()); // a time without a zone is read as UTC, as it is written
    return time.toUTC();
}

} // namespace qt2xx
