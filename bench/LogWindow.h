#pragma once

#include "platform/widgets/RichTextBox.h"

#include <QCoreApplication>
#include <QWidget>

namespace qt2xx::bench {

// A shown window with a log box of the size the main window gives it.
struct LogWindow {
    QWidget window;
    RichTextBox* box = new RichTextBox(&window);

    LogWindow() {
        box->setGeometry(0, 0, 185, 81);
        window.resize(200, 100);
        window.show();
        QCoreApplication::processEvents();
    }
};

} // namespace qt2xx::bench
