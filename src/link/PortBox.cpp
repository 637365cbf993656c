#include "link/PortBox.h"

#include "params/NumericValue.h"
#include "platform/core/PortErrors.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace qt2xx {
namespace {

bool isDevicePath(const QString& trimmed) {
#ifdef Q_OS_WIN
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return trimmed.startsWith(QLatin1String("\\\\.\\")) || comName.match(trimmed).hasMatch();
#else
    return trimmed.startsWith(QLatin1Char('/'));
#endif
}

} // namespace

PortBoxChoice ReadPortBox(const QString& text) {
    const QString trimmed = text.trimmed();
    if (isDevicePath(trimmed))
        return {kPortOk, 0, trimmed};
    const double rounded = std::nearbyint(NumericValue(text)); // halves go to the even neighbour
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
          rounded <= std::numeric_limits<std::int16_t>::max()))
        return {kPortNumberTooLarge, 0, {}};
    return {kPortOk, static_cast<std::int16_t>(rounded), {}};
}

} // namespace qt2xx
