#include "gang/GangOptions.h"

#include "platform/core/ExitStatus.h"
#include "station/ProductionOptions.h"

namespace qt2xx::gang {
namespace {

constexpr unsigned kShared = qt2xx::ProductionOption::Order | qt2xx::ProductionOption::Rework |
                             qt2xx::ProductionOption::Context | qt2xx::ProductionOption::Record |
                             qt2xx::ProductionOption::Labels | qt2xx::ProductionOption::Fixture;

} // namespace

QString Usage() {
    return QStringLiteral(
               "usage: qt2xx-gang [options] [--order ORDER.json PORT... | FILE.asv PORT...]\n"
               "\n"
               "A window for the operator of a gang fixture: one tile per slot, every slot programmed with "
               "the\n"
               "frame of FILE.asv, or of the set a work order names once its hash is the one released. Each "
               "PORT\n"
               "is a port number or a device path such as /dev/serial/by-path/... With an order that has a\n"
               "serial pattern each slot waits for a scanned serial, typed by the scanner into the scan "
               "field.\n"
               "Without a file and ports a start page asks for the order or set file, the operator and the "
               "slots.\n"
               "\n"
               "Options:\n"
               "%1"
               "\n"
               "%2")
        .arg(
            qt2xx::OptionsHelp(qt2xx::ProductionOptionSpecs(kShared, qt2xx::RecordDefault::On)),
            qt2xx::ExitStatusHelp(
                {{qt2xx::ExitOk, "every controller tried finished, or the order was complete already"},
                 {qt2xx::ExitFailed, "a controller failed or was cut short"},
                 {qt2xx::ExitRefused, "the file gives no frame, the order is refused, the database cannot be "
                                      "written, the fixture file is refused or the command line is wrong"},
                 {qt2xx::ExitUnreachable, "no port could be opened"}}));
}

bool ParseGangOptions(const QStringList& arguments, GangOptions& options, QString& error) {
    qt2xx::CommandLine line(qt2xx::ProductionOptionSpecs(kShared, qt2xx::RecordDefault::On));
    if (const qt2xx::Done parsed = line.parse(QStringList{QStringLiteral("qt2xx-gang")} + arguments);
        !parsed) {
        error = parsed.error();
        return false;
    }
    options.help = line.helpAsked();
    const qt2xx::Result<qt2xx::ProductionOptions> production =
        qt2xx::ReadProductionOptions(line, qt2xx::RecordDefault::On);
    if (!production) {
        error = production.error();
        return false;
    }
    qt2xx::SessionOptions& session = options.session;
    production->applyTo(session, qt2xx::RecordDefault::On);
    options.operatorId = production->operatorId;
    options.stationName = production->stationName;
    options.fixtureFile = production->fixtureFile;
    QStringList positional = line.positional();
    if (!session.orderFile.isEmpty()) {
        session.ports = positional;
        return true;
    }
    if (positional.size() == 1) {
        error = QStringLiteral("a parameter file needs at least one port");
        return false;
    }
    if (!positional.isEmpty()) {
        session.setFile = positional.takeFirst();
        session.ports = positional;
    }
    return true;
}

} // namespace qt2xx::gang
