#include "ui/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("qt2xx"));
    // Closing the window ends the program; the window then goes, and the port with it.
    qt2xx::frmMain window;
    window.show();
    return app.exec();
}
