#pragma once

#include <QString>

namespace qt2xx {

// The application's title, used by the window and by every message box.
inline const QString kApplicationTitle = QStringLiteral("QT2XX - TORVANE");

// A modal message box with one OK button, no icon and the application's title. The text is the
// system's own message; the informative text, when given, is a second, smaller paragraph that says
// which device or file was involved and why. show() returns once the operator has pressed OK.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString& text, const QString& informative = QString()) = 0;
};

} // namespace qt2xx
