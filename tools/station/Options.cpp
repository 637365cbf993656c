#include "station/Options.h"

#include "station/WorkOrder.h"

#include <charconv>

namespace qt2xx::station {

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
               "interrupted, lost, back, stopped; armed, scan-refused; records-failed, records-resumed, "
               "forwarding-stopped,\n"
               "forwarding-resumed), then a summary object.\n"
               "\n"
               "Options:\n"
               "  --count N        stop after N controllers finished over all ports (0, the default: until\n"
               "                   interrupted)\n"
               "  --json           JSON lines even on a terminal\n"
               "  --order ORDER.json\n"
               "                   program the set the work order names, once its hash is the one\n"
               "                   released, until the order's quantity is finished\n"
               "  --scan           arm each port with one serial read from standard input, one per\n"
               "                   line; implied when the order has a serial pattern\n"
               "  --rework         accept a serial that already has a finished record\n"
               "%2"
               "%1"
               "  --list-ports     list the serial devices with their port numbers, by-id and by-path "
               "names,\n"
               "                   description, USB vendor:product and serial number\n"
               "  --help           show this text\n"
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
               "Exit status: 0 every controller tried finished, or the order was complete already; 1 a "
               "controller failed or was cut short, or "
               "its\n"
               "record was not confirmed; 2 the file gives no frame, the order is refused (its set's hash\n"
               "differs from the one released), the record database cannot be opened, "
               "or\n"
               "the command line is wrong; 3 no port could be opened.\n"
               "NO_COLOR set in the environment turns colour off.\n")
        .arg(qt2xx::RecordOptionsHelp(qt2xx::RecordDefault::On), qt2xx::ContextOptionsHelp());
}

namespace {

bool readCount(const QString& text, int& count) {
    const QByteArray bytes = text.toLatin1();
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), count);
    return error == std::errc() && end == bytes.data() + bytes.size() && count >= 0;
}

} // namespace

bool ParseOptions(const QStringList& arguments, Options& options, QString& error) {
    QStringList positional;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--list-ports")) {
            options.listPorts = true;
        } else if (arg == QLatin1String("--scan")) {
            options.scan = true;
        } else if (arg == QLatin1String("--rework")) {
            options.rework = true;
        } else if (const auto read =
                       qt2xx::ReadProductionOption(arguments, i, options.orderFile, options.record, &error);
                   read != qt2xx::OptionRead::NotMine) {
            if (read == qt2xx::OptionRead::Refused)
                return false;
        } else if (arg == QLatin1String("--count") || arg.startsWith(QLatin1String("--count="))) {
            const QString value = arg.contains(QLatin1Char('=')) ? arg.mid(8) : arguments.value(++i);
            if (!readCount(value, options.count)) {
                error = QStringLiteral("--count needs a whole number of 0 or more, not \"%1\"").arg(value);
                return false;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            positional << arg;
        }
    }
    if (!qt2xx::CheckRecordOptions(options.record, qt2xx::RecordDefault::On, &error))
        return false;
    if (options.help || options.listPorts)
        return true;
    if (!options.orderFile.isEmpty()) {
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
