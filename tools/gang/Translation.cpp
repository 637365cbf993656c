#include "gang/Translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace qt2xx::gang {

bool InstallTranslation(QTranslator& translator, const QLocale& locale) {
    return translator.load(locale, QStringLiteral("qt2xx-gang"), QStringLiteral("_"),
                           QStringLiteral(":/i18n")) &&
           QCoreApplication::installTranslator(&translator);
}

} // namespace qt2xx::gang
