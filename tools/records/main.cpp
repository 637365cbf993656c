// Reads the production record, of one bench or of the central server: every controller's outcome as
// CSV or JSON lines, a summary per day or order and parameter set, a work order's figures, or its lot
// report as a PDF.

#include "forward/ForwardOutbox.h"
#include "forward/ServerStore.h"
#include "platform/core/CsvField.h"
#include "platform/core/ExitStatus.h"
#include "platform/core/JsonLine.h"
#include "record/RecordStore.h"
#include "records/OrderOutput.h"
#include "report/LotReportPdf.h"
#include "report/OrderReport.h"

#include <QFile>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>
#include <vector>

using namespace qt2xx;

namespace {

enum ExitCode { kOk = ExitOk, kFailed = ExitFailed, kRefused = ExitRefused, kUnreachable = ExitUnreachable };

constexpr char kUsage[] =
    "usage: qt2xx-records [--db PATH | --server URL] export [--format csv|json] [--since T] [--until T]\n"
    "                     [--result R]\n"
    "       qt2xx-records [--db PATH | --server URL] summary [--by day|order] [--since T]\n"
    "       qt2xx-records [--db PATH | --server URL] order ID [--serials] [--format text|csv|json]\n"
    "       qt2xx-records [--db PATH | --server URL] report (--order ID | --since T [--until T]\n"
    "                     [--units]) --output FILE.pdf\n"
    "       qt2xx-records [--db PATH] status\n";

void printHelp() {
    std::fputs(kUsage, stdout);
    std::printf(
        "\nCommands:\n"
        "  export         every record, oldest first, on stdout\n"
        "  summary        per day (UTC), or per work order, and parameter set: finished, each failure\n"
        "                 kind, yield in per cent\n"
        "  order ID       the work order's product, set, quantity, units finished, attempts failed,\n"
        "                 remaining, first-pass yield, first and last time, stations and operators\n"
        "  report         the lot report of a work order, or the report of a period (its figures, per\n"
        "                 order and set, per station, per hour or day, failures by kind and the units\n"
        "                 never finished), as an A4 PDF\n"
        "  status         per server the records go to: how many wait to be forwarded, since when, and\n"
        "                 the last error\n"
        "\nOptions:\n"
        "  --db PATH      the record database (default %s)\n"
        "  --server URL   read the central record server instead, all benches together: a libpq URL\n"
        "                 such as postgresql://reader@records.plant/qt2xx, never with a password in it;\n"
        "                 nothing on the server is created or changed, so a role that may only read\n"
        "                 will do\n"
        "  --format F     export as csv (the default, with a header line) or json (one object per line);\n"
        "                 order as text (the default), csv or json\n"
        "  --by K         summary per day (the default) or per order\n"
        "  --serials      order: each unit (serial or unit number) with its attempts, final result,\n"
        "                 time, device, operator and station\n"
        "  --order ID     report: the work order\n"
        "  --units        report of a period: also the table of every unit (an order's report has it\n"
        "                 always)\n"
        "  --output FILE  report: the PDF to write; written whole or not at all\n"
        "  --since T      only records at or after T (ISO 8601, UTC when no zone is given; a date alone\n"
        "                 means its midnight)\n"
        "  --until T      only records before T\n"
        "  --result R     only records with result R: finished, transmit-failure, storage-failure,\n"
        "                 no-response, no-storage-response\n"
        "  --help         show this help and exit\n"
        "\nExit status: 0 done; 1 the database could not be read to the end, no record matched (order,\n"
        "report), the server holds no record tables, the report could not be written, or (status)\n"
        "forwarding to a server has stopped; 2 refused arguments, or a database that is missing, not a\n"
        "record database or of a newer version; 3 the server could not be reached.\n",
        qPrintable(DefaultRecordDatabase()));
}

struct Options {
    QString database = DefaultRecordDatabase();
    QString server; // a URL: read the central server instead
    QString command;
    bool json = false;
    std::optional<OrderFormat> orderFormat;
    bool byOrder = false;
    bool serials = false;
    bool units = false; // report of a period: the table of every unit too
    QString order;      // order ID, or report --order
    QString output;
    RecordFilter filter;
};

bool isCommand(const QString& arg) {
    for (const char* name : {"export", "summary", "status", "order", "report"})
        if (arg == QLatin1String(name))
            return true;
    return false;
}

int refuse(const QString& message) {
    std::fprintf(stderr, "qt2xx-records: %s\n%s", qPrintable(message), kUsage);
    return kRefused;
}

// Which options go with which command.
std::optional<int> checkCombination(const Options& o) {
    const bool isExport = o.command == QLatin1String("export");
    const bool isOrder = o.command == QLatin1String("order");
    const bool isReport = o.command == QLatin1String("report");
    const bool anyFilter = o.filter.since.isValid() || o.filter.until.isValid() || o.filter.result;
    if (o.orderFormat == OrderFormat::Text && !isOrder)
        return refuse(QStringLiteral("--format text is for order only"));
    if (o.byOrder && o.command != QLatin1String("summary"))
        return refuse(QStringLiteral("--by is for summary only"));
    if (o.serials && !isOrder)
        return refuse(QStringLiteral("--serials is for order only"));
    if (o.units && (!isReport || !o.order.isEmpty()))
        return refuse(QStringLiteral("--units is for the report of a period only"));
    if (!o.output.isEmpty() && !isReport)
        return refuse(QStringLiteral("--output is for report only"));
    if (!isExport && o.filter.result)
        return refuse(QStringLiteral("--result is for export only"));
    if (o.command == QLatin1String("summary") && (o.orderFormat || o.filter.until.isValid()))
        return refuse(QStringLiteral("summary takes --by and --since only"));
    if (o.command == QLatin1String("status") && (o.orderFormat || anyFilter || !o.server.isEmpty()))
        return refuse(QStringLiteral("status takes --db only"));
    if (isOrder && (o.order.isEmpty() || anyFilter))
        return refuse(QStringLiteral("order takes an order ID, --serials and --format only"));
    if (!isOrder && !isReport && !o.order.isEmpty())
        return refuse(QStringLiteral("--order is for report only"));
    if (isReport) {
        if (o.output.isEmpty())
            return refuse(QStringLiteral("report needs --output FILE.pdf"));
        if (o.orderFormat || o.order.isEmpty() == !o.filter.since.isValid() ||
            (!o.order.isEmpty() && o.filter.until.isValid()))
            return refuse(QStringLiteral("report takes either --order ID or --since T [--until T]"));
    }
    return std::nullopt;
}

// Fills options from the arguments; an exit code when they are refused or only help was asked.
std::optional<int> parseArguments(const QStringList& args, Options& options) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp();
            return kOk;
        }
        if (arg == QLatin1String("--serials") || arg == QLatin1String("--units")) {
            (arg == QLatin1String("--units") ? options.units : options.serials) = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            if (options.command == QLatin1String("order") && options.order.isEmpty()) {
                options.order = arg;
                continue;
            }
            if (!options.command.isEmpty())
                return refuse(QStringLiteral("unexpected argument %1").arg(arg));
            if (!isCommand(arg))
                return refuse(QStringLiteral("unknown command %1").arg(arg));
            options.command = arg;
            continue;
        }
        if (i + 1 >= args.size())
            return refuse(QStringLiteral("%1 needs a value").arg(arg));
        const QString value = args[++i];
        if (arg == QLatin1String("--db")) {
            options.database = value;
        } else if (arg == QLatin1String("--server")) {
            options.server = value;
        } else if (arg == QLatin1String("--format") &&
                   (value == QLatin1String("csv") || value == QLatin1String("json") ||
                    value == QLatin1String("text"))) {
            options.json = value == QLatin1String("json");
            options.orderFormat = value == QLatin1String("json")  ? OrderFormat::Json
                                  : value == QLatin1String("csv") ? OrderFormat::Csv
                                                                  : OrderFormat::Text;
        } else if (arg == QLatin1String("--by") &&
                   (value == QLatin1String("day") || value == QLatin1String("order"))) {
            options.byOrder = value == QLatin1String("order");
        } else if (arg == QLatin1String("--order") || arg == QLatin1String("--output")) {
            (arg == QLatin1String("--order") ? options.order : options.output) = value;
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
    return checkCombination(options);
}

void writeLine(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// The exported fields: every record column but its id, in the order the export query reads them.
std::vector<const record_schema::RecordColumn*> exportFields() {
    std::vector<const record_schema::RecordColumn*> fields;
    for (const record_schema::RecordColumn& column : record_schema::RecordColumns())
        if (column.exported)
            fields.push_back(&column);
    return fields;
}

// Rows are printed as they are read, so memory stays the same whatever the size of the database.
Done exportRecords(const RecordSource& source, const RecordFilter& filter, bool json) {
    const std::vector<const record_schema::RecordColumn*> fields = exportFields();
    std::vector<QByteArray> names;
    int resultIndex = -1;
    for (const record_schema::RecordColumn* column : fields) {
        if (qstrcmp(column->name, record_schema::kResult) == 0)
            resultIndex = int(names.size());
        names.push_back(JsonText(QLatin1String(column->name)));
    }
    QByteArray line;
    if (!json) {
        for (const record_schema::RecordColumn* column : fields)
            line += (line.isEmpty() ? "" : ",") + QByteArray(column->name);
        std::fputs((line + "\r\n").constData(), stdout);
    }
    return source.forEachRecord(filter, true, [&](const QSqlQuery& q) -> Done {
        line.clear();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QVariant value = q.value(int(i));
            if (int(i) == resultIndex && !OutcomeFromResultName(value.toString()))
                return Fail(QStringLiteral("a record has the unknown result \"%1\"").arg(value.toString()));
            if (json) {
                line += i == 0 ? "{" : ",";
                line += names[i];
                line += ':';
                line += JsonText(fields[i]->type == record_schema::SqlType::Integer
                                     ? QJsonValue(value.toInt())
                                     : QJsonValue(StoredText(value)));
            } else {
                if (i > 0)
                    line += ',';
                AppendCsvField(line, StoredText(value),
                               fields[i]->type == record_schema::SqlType::Integer ? CsvKind::Number
                                                                                  : CsvKind::Text);
            }
        }
        line += json ? "}\n" : "\r\n";
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        return {};
    });
}

// Per day (or order) and parameter set, one line as soon as the counts of its last result have
// arrived. Records without an order are grouped under "-".
Done printSummary(const RecordSource& source, bool byOrder, const QDateTime& since) {
    QString header = QStringLiteral("%1  %2")
                         .arg(byOrder ? QStringLiteral("order") : QStringLiteral("day"), -10)
                         .arg(QStringLiteral("parameter set"), -12);
    for (Outcome outcome : kOutcomes)
        header += QStringLiteral("  %1").arg(ResultName(outcome));
    writeLine(header + QStringLiteral("  yield\n"));
    std::optional<std::pair<QString, QString>> key;
    std::map<Outcome, qint64> counts;
    const auto flush = [&] {
        if (!key)
            return;
        const QString first = key->first.isEmpty() ? QStringLiteral("-") : key->first;
        QString line = QStringLiteral("%1  %2").arg(first, -10).arg(key->second.left(12), -12);
        qint64 total = 0;
        for (Outcome outcome : kOutcomes) {
            const qint64 n = counts[outcome];
            total += n;
            line += QStringLiteral("  %1").arg(n, int(ResultName(outcome).size()));
        }
        const double yield = 100.0 * double(counts[Outcome::Finished]) / double(total);
        writeLine(line + QStringLiteral("  %1%\n").arg(yield, 5, 'f', 1));
        counts.clear();
    };
    const Done read =
        source.forEachCount(byOrder ? RecordSource::GroupBy::Order : RecordSource::GroupBy::Day, since,
                            [&](const GroupCount& row) {
                                const std::pair<QString, QString> rowKey{row.key, row.parameterSha256};
                                if (key != rowKey) {
                                    flush();
                                    key = rowKey;
                                }
                                counts[row.result] += row.count;
                            });
    if (read)
        flush();
    return read;
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

void fail(const QString& where, const QString& error) {
    std::fprintf(stderr, "qt2xx-records: %s: %s\n", qPrintable(where), qPrintable(error));
}

// The lot report of an order or a period, written only when some record is in scope.
int writeReport(const RecordSource& source, const Options& options, const QString& where) {
    ReportScope scope;
    if (!options.order.isEmpty())
        scope.order = options.order;
    scope.since = options.filter.since;
    scope.until = options.filter.until;
    // The figures, the count and the units read from one snapshot, so that they agree.
    QSqlDatabase db = source.database();
    db.transaction();
    if (source.side() == RecordSource::Side::Server)
        QSqlQuery(db).exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    Result<std::optional<LotReport>> report = ReadLotReport(
        source, options.order.isEmpty() ? LotReport::Kind::Period : LotReport::Kind::Order, scope);
    if (!report || !*report) {
        fail(where, !report ? report.error()
                    : options.order.isEmpty()
                        ? QStringLiteral("no records in that period; no report written")
                        : QStringLiteral("no records of the order %1; no report written").arg(options.order));
        return kFailed;
    }
    if (options.units)
        (*report)->unitTable = true;
    const Result<qint64> count = (*report)->unitTable ? CountLotUnits(source, scope) : qint64(0);
    const LotUnitReader units = [&](const std::function<void(const LotUnit&)>& unit) {
        return ForEachLotUnit(source, scope, unit);
    };
    if (!count) {
        fail(where, count.error());
        return kFailed;
    }
    if (const Done written = WriteLotReportPdf(**report, *count, units, options.output); !written) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(written.error()));
        return kFailed;
    }
    return kOk;
}

int readRecords(const RecordSource& source, const Options& options, const QString& where) {
    if (options.command == QLatin1String("report"))
        return writeReport(source, options, where);
    Done read;
    if (options.command == QLatin1String("order"))
        read = PrintOrder(source, options.order, options.orderFormat.value_or(OrderFormat::Text),
                          options.serials);
    else if (options.command == QLatin1String("summary"))
        read = printSummary(source, options.byOrder, options.filter.since);
    else
        read = exportRecords(source, options.filter, options.json);
    if (!read) {
        fail(where, read.error());
        return kFailed;
    }
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// The central server, read as it stands.
int readServer(const Options& options) {
    const Result<ServerAddress> address = ServerAddress::parse(options.server);
    if (!address)
        return refuse(QStringLiteral("--server: %1").arg(address.error()));
    ServerStore server(*address);
    if (const Done opened = server.openToRead(); !opened) {
        fail(address->display(), opened.error());
        const ServerStore::Reading reading = server.reading();
        return reading == ServerStore::Reading::Unreachable ? kUnreachable
               : reading == ServerStore::Reading::Newer     ? kRefused
                                                            : kFailed;
    }
    return readRecords(RecordSource(server.database(), RecordSource::Side::Server, server.schemaVersion()),
                       options, address->display());
}

// Only a report draws; it needs a platform for its fonts even with no screen.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "report") == 0) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QGuiApplication>(argc, argv);
        }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    Options options;
    if (const std::optional<int> code = parseArguments(QCoreApplication::arguments(), options))
        return *code;
    if (!options.server.isEmpty())
        return readServer(options);
    const Result<std::unique_ptr<RecordStore>> opened =
        RecordStore::open(options.database, RecordStore::OpenMode::ReadOnly);
    if (!opened) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(opened.error()));
        return kRefused;
    }
    const std::unique_ptr<RecordStore>& store = *opened;
    if (options.command == QLatin1String("status")) {
        // A file older than forwarding has nothing waiting for any server.
        const Result<std::vector<ForwardStatus>> servers =
            store->schemaVersion() >= record_schema::kForwardingVersion ? readForwardStatus(store->database())
                                                                        : std::vector<ForwardStatus>();
        if (!servers) {
            fail(options.database, servers.error());
            return kFailed;
        }
        const bool going = printStatus(*servers);
        return std::fflush(stdout) == 0 && going ? kOk : kFailed;
    }
    return readRecords(store->source(), options, options.database);
}
