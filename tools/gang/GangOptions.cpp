#include "gang/GangOptions.h"

#include "record/RecordOptions.h"
#include "record/RecordStore.h"
#include "station/WorkOrder.h"

namespace qt2xx::gang {

const char* const kUsage =
    "usage: qt2xx-gang [options] [--order ORDER.json PORT... | FILE.asv PORT...]\n"
    "\n"
    "A window for the operator of a gang fixture: one tile per slot, every slot programmed with the\n"
    "frame of FILE.asv, or of the set a work order names once its hash is the one released. Each PORT\n"
    "is a port number or a device path such as /dev/serial/by-path/... With an order that has a\n"
    "serial pattern each slot waits for a scanned serial, typed by the scanner into the scan field.\n"
    "Without a file and ports a start page asks for the order or set file, the operator and the slots.\n"
    "\n"
    "Options:\n"
    "  --order ORDER.json\n"
    "                   program the work order until its quantity is finished\n"
    "  --rework         accept a scanned serial that already has a finished record\n"
    "  --operator ID    the operator, shown in the header and kept in every record\n"
    "  --station NAME   the station's name kept in every record (default: the host name)\n"
    "  --record=PATH    keep the production record in the database PATH\n"
    "  --no-record      keep no production record\n"
    "  --record-server=URL\n"
    "                   also forward every record to the PostgreSQL server at URL; the password\n"
    "                   comes from ~/.pgpass, PGPASSFILE or a service file, never from URL\n"
    "  --help           show this text\n"
    "\n"
    "Exit status: 0 every controller tried finished, or the order was complete already; 1 a\n"
    "controller failed or was cut short; 2 the file gives no frame, the order is refused, the\n"
    "database cannot be written or the command line is wrong; 3 no port could be opened.\n";

bool ParseGangOptions(const QStringList& arguments, GangOptions& options, QString& error) {
    QStringList positional;
    qt2xx::SessionOptions& session = options.session;
    qt2xx::RecordOptions record;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--rework")) {
            session.rework = true;
        } else if (const auto read =
                       qt2xx::ReadProductionOption(arguments, i, session.orderFile, record, &error);
                   read != qt2xx::OptionRead::NotMine) {
            if (read == qt2xx::OptionRead::Refused)
                return false;
        } else if (arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            positional << arg;
        }
    }
    if (!qt2xx::CheckRecordOptions(record, qt2xx::RecordDefault::On, &error))
        return false;
    session.record = !record.noRecord;
    if (record.database && *record.database != qt2xx::DefaultRecordDatabase())
        session.recordPath = *record.database;
    session.recordServer = record.server;
    options.operatorId = session.operatorId = record.operatorId;
    options.stationName = session.stationName = record.stationName;
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
