#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel placeholder(QStringLiteral("QT2XX - TORVANE"));
    placeholder.setWindowTitle(QStringLiteral("QT2XX - TORVANE"));
    placeholder.show();
    return app.exec();
}
