#include "station/Options.h"

#include "platform/core/ExitStatus.h"

namespace qt2xx::station {

qt2xx::OptionSpecs OptionDeclarations() {
    using qt2xx::ProductionOption;
    qt2xx::OptionSpecs specs{
        {QStringLiteral("json"), {}, QStringLiteral("JSON lines even on a terminal")},
        {QStringLiteral("list-ports"),
         {},
         QStringLiteral("list the serial devices with their port numbers, by-id and by-path names, "
                        "description, USB vendor:product and serial number")},
    };
    for (qt2xx::OptionSpec& decl : qt2xx::ProductionOptionSpecs(
             ProductionOption::Order | ProductionOption::Count | ProductionOption::Scan |
                 ProductionOption::Rework | ProductionOption::Context | ProductionOption::Record |
                 ProductionOption::Labels | ProductionOption::Fixture,
             qt2xx::RecordDefault::On))
        specs.push_back(std::move(decl));
    return specs;
}

QString Usage() {
    return QStringLiteral(
               "usage: qt2xx-station [options] FILE.asv PORT...\n"
               "       qt2xx-station --order ORDER.json [options] PORT...\n"
               "       qt2xx-station --list-ports\n"
               "\n"
               "Programs controllers on several serial ports at once, every one with the frame of FILE.asv.\n"
               "Each PORT is a port number, as typed into the window's port box, or a device path such as\n"
               "/dev/ttyUSB0 or /dev/serial/by-path/...; by-path links name the slots of a fixture whatever\n"
               "order its adapters come up in. Each port seeks a controller every 100 ms, programs it and "
               "seeks\n"
               "the next, until the count is reached or SIGINT or SIGTERM stops every port.\n"
               "\n"
               "On a terminal a table shows each port; otherwise, or with --json, one JSON object per line "
               "per\n"
               "event (started, finished, transmit-failure, storage-failure, no-response, "
               "no-storage-response,\n"
               "interrupted, lost, back, stopped; armed, scan-refused, scan-dropped; records-failed, "
               "records-resumed, "
               "forwarding-stopped,\n"
               "forwarding-resumed; fixture-away, fixture-back), then a summary object.\n"
               "\n"
               "Options:\n"
               "%1"
               "\n"
               "No record, no programming: when the record database cannot be opened the station refuses to\n"
               "start, and while records cannot be written no port begins a controller.\n"
               "\n"
               "With scans, a port that waits for a serial does not seek; each accepted serial arms the "
               "first\n"
               "waiting port, in the order the ports were given, for one controller. A serial is refused\n"
               "when it does not match the order's pattern, is armed on another port or already has a\n"
               "finished record. End of input means no more units.\n"
               "\n"
               "With --fixture, a slot whose fixture entry names a unit-present contact takes a serial only\n"
               "while its contact is closed and its unit is not yet programmed; its unit counts as taken "
               "out\n"
               "when the contact opens. A unit taken out after its scan but before its programming began\n"
               "drops its serial (scan-dropped): the slot waits for a scan again, and the serial may be\n"
               "scanned again. While the I/O module does not answer such slots take no serial. When\n"
               "the station ends the fixture's lamps are turned off and its stack light red.\n"
               "\n"
               "%2"
               "NO_COLOR set in the environment turns colour off.\n")
        .arg(
            qt2xx::OptionsHelp(OptionDeclarations()),
            qt2xx::ExitStatusHelp(
                {{qt2xx::ExitOk, "every controller tried finished, or the order was complete already"},
                 {qt2xx::ExitFailed, "a controller failed or was cut short, or its record was not confirmed"},
                 {qt2xx::ExitRefused, "the file gives no frame, the order is refused (its set's hash differs "
                                      "from the one released), the record database cannot be opened, the "
                                      "fixture file is refused, or the command line is wrong"},
                 {qt2xx::ExitUnreachable, "no port could be opened"}}));
}

bool ParseOptions(const QStringList& arguments, Options& options, QString& error) {
    qt2xx::CommandLine line(OptionDeclarations());
    if (const qt2xx::Done parsed = line.parse(QStringList{QStringLiteral("qt2xx-station")} + arguments);
        !parsed) {
        error = parsed.error();
        return false;
    }
    options.help = line.helpAsked();
    options.json = line.isSet(QStringLiteral("json"));
    options.listPorts = line.isSet(QStringLiteral("list-ports"));
    qt2xx::Result<qt2xx::ProductionOptions> production =
        qt2xx::ReadProductionOptions(line, qt2xx::RecordDefault::On);
    if (!production) {
        error = production.error();
        return false;
    }
    options.production = std::move(*production);
    if (options.help || options.listPorts)
        return true;
    QStringList positional = line.positional();
    if (!options.production.orderFile.isEmpty()) {
        if (positional.isEmpty()) {
            error = QStringLiteral("at least one port is needed");
            return false;
        }
    } else if (positional.size() < 2) {
        error = QStringLiteral("a parameter file and at least one port are needed");
        return false;
    } else {
        options.setFile = positional.takeFirst();
    }
    options.ports = positional;
    return true;
}

} // namespace qt2xx::station
