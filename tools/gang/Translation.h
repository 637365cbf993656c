#pragma once

#include <QLocale>

class QTranslator;

namespace qt2xx::gang {

// The gang window speaks the operator's language: its own texts and the texts of the core it shows
// (scan refusals, the session's notices), from the translations built into it. Loads the locale's
// translation into translator and installs it; false when there is none, and the window stays English.
bool InstallTranslation(QTranslator& translator, const QLocale& locale = QLocale());

} // namespace qt2xx::gang
