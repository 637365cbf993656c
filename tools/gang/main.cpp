// qt2xx-gang: the window for the operator of a gang fixture. One tile per slot over the station's
// ports, each programmed with the same set or work order, as qt2xx-station programs them from a terminal.
#include "gang/GangOptions.h"
#include "gang/GangWindow.h"
#include "gang/Translation.h"
#include "platform/core/ExitStatus.h"
#include "report/LabelSinks.h"
#include "station/FixtureFile.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("qt2xx"));
    QApplication::setApplicationName(QStringLiteral("qt2xx-gang"));
    QApplication::setDesktopFileName(QStringLiteral("qt2xx-gang"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("qt2xx")));

    QTranslator translator;
    qt2xx::gang::InstallTranslation(translator);

    qt2xx::gang::GangOptions options;
    QString error;
    if (!qt2xx::gang::ParseGangOptions(QApplication::arguments().mid(1), options, error)) {
        std::fprintf(stderr, "qt2xx-gang: %s\n", qPrintable(error));
        std::fputs(qPrintable(qt2xx::gang::Usage()), stderr);
        return qt2xx::ExitRefused;
    }
    if (options.help) {
        std::fputs(qPrintable(qt2xx::gang::Usage()), stdout);
        return qt2xx::ExitOk;
    }

    // With the ports given, a fixture file with a mistake is refused before the window opens any.
    if (!options.fixtureFile.isEmpty() && !options.session.ports.isEmpty()) {
        if (const auto fixture =
                qt2xx::ReadFixtureFile(options.fixtureFile, int(options.session.ports.size()));
            !fixture) {
            std::fprintf(stderr, "qt2xx-gang: %s: %s\n", qPrintable(options.fixtureFile),
                         qPrintable(fixture.error()));
            return qt2xx::ExitRefused;
        }
    }

    qt2xx::gang::GangWindow window(options);
    window.session().setLabelSinks(qt2xx::LabelPrinterSinks());
    // Without a window manager (a kiosk session) maximising does nothing: the screen is filled anyway.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    // The window shows how the records fare as they go; stderr keeps what a log of the session needs.
    QObject::connect(&window.session(), &qt2xx::StationSession::notice, &window,
                     [](const qt2xx::SessionNotice& notice) {
                         using Kind = qt2xx::SessionNotice::Kind;
                         if (notice.kind == Kind::PortNotOpen || notice.kind == Kind::Records ||
                             notice.kind == Kind::EndOfRun || notice.kind == Kind::LabelsInDoubt)
                             std::fprintf(stderr, "qt2xx-gang: %s\n", qPrintable(notice.text));
                     });
    const bool given = !options.session.setFile.isEmpty() || !options.session.orderFile.isEmpty();
    if (given && !options.session.ports.isEmpty() && !window.begin(options.session) &&
        window.session().refusal())
        std::fprintf(stderr, "qt2xx-gang: %s\n", qPrintable(window.session().refusal()->text));
    app.exec();
    return window.exitStatus();
}
