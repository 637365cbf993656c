#include "gang/GangOptions.h"

namespace gang {

const char* const kUsage =
    "usage: qt2xx-gang [options] [FILE.asv PORT...]\n"
    "\n"
    "A window for the operator of a gang fixture: one tile per slot, every slot programmed with the\n"
    "frame of FILE.asv. Each PORT is a port number or a device path such as /dev/serial/by-path/...\n"
    "Without FILE.asv and ports a start page asks for the file, the operator and the slots.\n"
    "\n"
    "Options:\n"
    "  --operator ID    the operator, shown in the header\n"
    "  --station NAME   the station's name (default: the host name)\n"
    "  --record=PATH    keep the production record in the database PATH\n"
    "  --no-record      keep no production record\n"
    "  --record-server=URL\n"
    "                   also forward every record to the PostgreSQL server at URL; the password\n"
    "                   comes from ~/.pgpass, PGPASSFILE or a service file, never from URL\n"
    "  --help           show this text\n"
    "\n"
    "Exit status: 0 every controller tried finished; 1 a controller failed or was cut short;\n"
    "2 the file gives no frame, the database cannot be written or the command line is wrong;\n"
    "3 no port could be opened.\n";

namespace {

// "--name VALUE" or "--name=VALUE"; false when the value is missing.
bool takeValue(const QStringList& arguments, int& i, const QString& name, QString& value) {
    const QString& arg = arguments[i];
    if (arg.startsWith(name + QLatin1Char('=')))
        value = arg.mid(name.size() + 1);
    else if (i + 1 < arguments.size())
        value = arguments[++i];
    else
        value.clear();
    return !value.isEmpty();
}

bool isOption(const QString& arg, const QString& name) {
    return arg == name || arg.startsWith(name + QLatin1Char('='));
}

} // namespace

bool ParseGangOptions(const QStringList& arguments, GangOptions& options, QString& error) {
    QStringList positional;
    qt2xx::SessionOptions& session = options.session;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--no-record")) {
            session.record = false;
        } else if (arg.startsWith(QLatin1String("--record-server="))) {
            // The refusal never repeats the URL: it may hold a password.
            session.recordServer = qt2xx::ServerAddress::parse(arg.mid(16), &error);
            if (!session.recordServer)
                return false;
        } else if (arg.startsWith(QLatin1String("--record="))) {
            session.recordPath = arg.mid(9);
            if (session.recordPath.isEmpty()) {
                error = QStringLiteral("--record needs a database path");
                return false;
            }
        } else if (isOption(arg, QStringLiteral("--operator"))) {
            if (!takeValue(arguments, i, QStringLiteral("--operator"), options.operatorId)) {
                error = QStringLiteral("--operator needs an operator's id");
                return false;
            }
        } else if (isOption(arg, QStringLiteral("--station"))) {
            if (!takeValue(arguments, i, QStringLiteral("--station"), options.stationName)) {
                error = QStringLiteral("--station needs a name");
                return false;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            positional << arg;
        }
    }
    if (!session.record && !session.recordPath.isEmpty()) {
        error = QStringLiteral("--record and --no-record exclude each other");
        return false;
    }
    if (!session.record && session.recordServer) {
        error = QStringLiteral("--record-server and --no-record exclude each other");
        return false;
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

} // namespace gang
