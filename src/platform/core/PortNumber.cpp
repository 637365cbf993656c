#include "platform/core/PortNumber.h"

#include <QRegularExpression>

namespace qt2xx {

QStringList PortNumberDevices(int number, const QString& deviceDirectory) {
    if (number <= 0)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(deviceDirectory);
    return {QStringLiteral("COM%1").arg(number)};
#else
    const QString n = QString::number(number - 1);
    const QString dir = deviceDirectory + QLatin1Char('/');
    return {dir + QStringLiteral("ttyUSB") + n, dir + QStringLiteral("ttyACM") + n,
            dir + QStringLiteral("ttyS") + n};
#endif
}

int DevicePortNumber(const QString& device) {
#ifdef Q_OS_WIN
    static const QRegularExpression numbered(QStringLiteral("^COM([0-9]+)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const int offset = 0;
#else
    static const QRegularExpression numbered(QStringLiteral("(?:^|/)tty(?:USB|ACM|S)([0-9]+)$"));
    const int offset = 1;
#endif
    const QRegularExpressionMatch match = numbered.match(device);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const int number = match.captured(1).toInt(&ok) + offset;
    return ok && number > 0 ? number : 0;
}

} // namespace qt2xx
