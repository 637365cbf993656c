// Reads the production record: every controller's outcome as CSV or JSON lines, or a summary per day
// and parameter set.

#include "platform/core/JsonLine.h"
#include "record/ForwardOutbox.h"
#include "record/RecordStore.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <cstdio>
#include <map>
#include <optional>
#include <tuple>

using namespace qt2xx;

namespace {

enum ExitCode { kOk = 0, kFailed = 1, kRefused = 2 };

constexpr char kUsage[] =
    "usage: qt2xx-records [--db PATH] export [--format csv|json] [--since T] [--until T] [--result R]\n"
    "       qt2xx-records [--db PATH] summary [--since T]\n"
    "       qt2xx-records [--db PATH] status\n";

const QStringList kColumns = {
    QStringLiteral("recorded_at"),      QStringLiteral("run_id"),         QStringLiteral("unit"),
    QStringLiteral("device"),           QStringLiteral("result"),         QStringLiteral("frame"),
    QStringLiteral("parameter_sha256"), QStringLiteral("parameter_file"), QStringLiteral("program")};

void printHelp() {
    std::fputs(kUsage, stdout);
    std::printf(
        "\nCommands:\n"
        "  export         every record, oldest first, on stdout\n"
        "  summary        per day (UTC) and parameter set: finished, each failure kind, yield in per cent\n"
        "  status         per server the records go to: how many wait to be forwarded, since when, and\n"
        "                 the last error\n"
        "\nOptions:\n"
        "  --db PATH      the record database (default %s)\n"
        "  --format F     export as csv (the default, with a header line) or json (one object per line)\n"
        "  --since T      only records at or after T (ISO 8601, UTC when no zone is given; a date alone\n"
        "                 means its midnight)\n"
        "  --until T      only records before T\n"
        "  --result R     only records with result R: finished, transmit-failure, storage-failure,\n"
        "                 no-response, no-storage-response\n"
        "  --help         show this help and exit\n"
        "\nExit status: 0 done; 1 the database could not be read to the end, or (status) forwarding to a\n"
        "server has stopped; 2 refused arguments, or a database that is missing, not a record database\n"
        "or of a newer version.\n",
        qPrintable(DefaultRecordDatabase()));
}

struct Options {
    QString database = DefaultRecordDatabase();
    QString command;
    bool json = false;
    RecordFilter filter;
};

int refuse(const QString& message) {
    std::fprintf(stderr, "qt2xx-records: %s\n%s", qPrintable(message), kUsage);
    return kRefused;
}

// Fills options from the arguments; an exit code when they are refused or only help was asked.
std::optional<int> parseArguments(const QStringList& args, Options& options) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp();
            return kOk;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            if (!options.command.isEmpty())
                return refuse(QStringLiteral("unexpected argument %1").arg(arg));
            if (arg != QLatin1String("export") && arg != QLatin1String("summary") &&
                arg != QLatin1String("status"))
                return refuse(QStringLiteral("unknown command %1").arg(arg));
            options.command = arg;
            continue;
        }
        if (i + 1 >= args.size())
            return refuse(QStringLiteral("%1 needs a value").arg(arg));
        const QString value = args[++i];
        if (arg == QLatin1String("--db")) {
            options.database = value;
        } else if (arg == QLatin1String("--format") &&
                   (value == QLatin1String("csv") || value == QLatin1String("json"))) {
            options.json = value == QLatin1String("json");
        } else if (arg == QLatin1String("--since") || arg == QLatin1String("--until")) {
            const QDateTime time = ParseUtcTime(value);
            if (!time.isValid())
                return refuse(QStringLiteral("%1: \"%2\" is not a time").arg(arg, value));
            (arg == QLatin1String("--since") ? options.filter.since : options.filter.until) = time;
        } else if (arg == QLatin1String("--result") && OutcomeFromResultName(value)) {
            options.filter.result = OutcomeFromResultName(value);
        } else {
            return refuse(QStringLiteral("unknown option or value: %1 %2").arg(arg, value));
        }
    }
    if (options.command.isEmpty())
        return refuse(QStringLiteral("no command given"));
    if (options.command == QLatin1String("summary") &&
        (options.json || options.filter.until.isValid() || options.filter.result))
        return refuse(QStringLiteral("summary takes --since only"));
    if (options.command == QLatin1String("status") &&
        (options.json || options.filter.since.isValid() || options.filter.until.isValid() ||
         options.filter.result))
        return refuse(QStringLiteral("status takes --db only"));
    return std::nullopt;
}

void writeLine(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

QStringList fieldsOf(const ProductionRecord& r) {
    return {
        UtcTimeText(r.recordedAt), r.runId,           QString::number(r.unit), r.device, ResultName(r.result),
        FrameHex(r.frame),         r.parameterSha256, r.parameterFile,         r.program};
}

// A field is quoted when it holds a comma, a double quote or a line end; quotes inside are doubled.
QString csvField(QString field) {
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\r')) && !field.contains(QLatin1Char('\n')))
        return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

void exportCsv(const std::vector<ProductionRecord>& records) {
    writeLine(kColumns.join(QLatin1Char(',')) + QLatin1String("\r\n"));
    for (const ProductionRecord& r : records) {
        QStringList fields = fieldsOf(r);
        for (QString& f : fields)
            f = csvField(f);
        writeLine(fields.join(QLatin1Char(',')) + QLatin1String("\r\n"));
    }
}

// Keys in the order of the CSV header, which QJsonObject would sort.
void exportJson(const std::vector<ProductionRecord>& records) {
    for (const ProductionRecord& r : records) {
        const QStringList fields = fieldsOf(r);
        QStringList members;
        for (int i = 0; i < kColumns.size(); ++i) {
            const QJsonValue value =
                kColumns[i] == QLatin1String("unit") ? QJsonValue(r.unit) : QJsonValue(fields[i]);
            members << QString::fromUtf8(JsonText(kColumns[i])) + QLatin1Char(':') +
                           QString::fromUtf8(JsonText(value));
        }
        writeLine(QLatin1Char('{') + members.join(QLatin1Char(',')) + QStringLiteral("}\n"));
    }
}

void printSummary(const std::vector<ProductionRecord>& records) {
    // Day, then parameter set, then the count of each outcome.
    std::map<std::pair<QString, QString>, std::map<Outcome, int>> table;
    for (const ProductionRecord& r : records)
        ++table[{r.recordedAt.toUTC().date().toString(Qt::ISODate), r.parameterSha256}][r.result];
    QString header =
        QStringLiteral("%1  %2").arg(QStringLiteral("day"), -10).arg(QStringLiteral("parameter set"), -12);
    for (Outcome outcome : kOutcomes)
        header += QStringLiteral("  %1").arg(ResultName(outcome));
    writeLine(header + QStringLiteral("  yield\n"));
    for (const auto& [key, counts] : table) {
        QString line = QStringLiteral("%1  %2").arg(key.first, -10).arg(key.second.left(12), -12);
        int total = 0;
        for (Outcome outcome : kOutcomes) {
            const auto it = counts.find(outcome);
            const int n = it == counts.end() ? 0 : it->second;
            total += n;
            line += QStringLiteral("  %1").arg(n, int(ResultName(outcome).size()));
        }
        const auto finished = counts.find(Outcome::Finished);
        const double yield = 100.0 * (finished == counts.end() ? 0 : finished->second) / total;
        writeLine(line + QStringLiteral("  %1%\n").arg(yield, 5, 'f', 1));
    }
}

// One line per server; true when forwarding to every server goes on.
bool printStatus(const std::vector<ForwardStatus>& servers) {
    if (servers.empty())
        writeLine(QStringLiteral("records are not forwarded to any server\n"));
    bool going = true;
    for (const ForwardStatus& s : servers) {
        QString line = QStringLiteral("%1: %2 waiting").arg(s.server).arg(s.waiting);
        if (s.oldestWaiting.isValid())
            line += QStringLiteral(" since %1").arg(UtcTimeText(s.oldestWaiting));
        if (s.lastSentAt.isValid())
            line += QStringLiteral(", last sent %1").arg(UtcTimeText(s.lastSentAt));
        if (!s.lastError.isEmpty()) {
            line +=
                QStringLiteral(", stopped %1: %2").arg(UtcTimeText(s.lastErrorAt), s.lastError.simplified());
            going = false;
        }
        writeLine(line + u'\n');
    }
    return going;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Options options;
    if (const std::optional<int> code = parseArguments(QCoreApplication::arguments(), options))
        return *code;
    QString error;
    const std::unique_ptr<RecordStore> store =
        RecordStore::open(options.database, &error, RecordStore::OpenMode::MustExist);
    if (!store) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(error));
        return kRefused;
    }
    if (options.command == QLatin1String("status")) {
        std::vector<ForwardStatus> servers;
        if (!readForwardStatus(store->database(), &servers, &error)) {
            std::fprintf(stderr, "qt2xx-records: %s: %s\n", qPrintable(options.database), qPrintable(error));
            return kFailed;
        }
        const bool going = printStatus(servers);
        return std::fflush(stdout) == 0 && going ? kOk : kFailed;
    }
    const std::vector<ProductionRecord> records = store->records(options.filter, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "qt2xx-records: %s: %s\n", qPrintable(options.database), qPrintable(error));
        return kFailed;
    }
    if (options.command == QLatin1String("summary"))
        printSummary(records);
    else if (options.json)
        exportJson(records);
    else
        exportCsv(records);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}
