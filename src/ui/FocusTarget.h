#pragma once

#include <QWidget>

namespace qt2xx {

// The widget that takes the focus for a control: a compound control hands it to a part of itself.
inline QWidget* FocusTarget(QWidget* widget) {
    while (widget->focusProxy())
        widget = widget->focusProxy();
    return widget;
}

} // namespace qt2xx
