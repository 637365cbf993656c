// Reads the production record, of one bench or of the central server: every controller's outcome as
// CSV or JSON lines, a summary per day or order and parameter set, a work order's figures, or its lot
// report as a PDF.

#include "forward/ForwardOutbox.h"
#include "forward/ServerStore.h"
#include "platform/core/CommandLine.h"
#include "platform/core/CsvField.h"
#include "platform/core/ExitStatus.h"
#include "platform/core/JsonLine.h"
#include "record/LabelQueue.h"
#include "record/RecordStore.h"
#include "records/OrderOutput.h"
#include "report/LabelPrinter.h"
#include "report/LotReportPdf.h"
#include "report/OrderReport.h"
#include "station/ProductionOptions.h"

#include <QFile>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>
#include <vector>

using namespace qt2xx;

namespace {

constexpr char kUsage[] =
    "usage: qt2xx-records [--db PATH | --server URL] export [--format csv|json] [--since T] [--until T]\n"
    "                     [--result R]\n"
    "       qt2xx-records [--db PATH | --server URL] summary [--by day|order] [--since T]\n"
    "       qt2xx-records [--db PATH [--record-server URL] | --server URL] order ID [--serials]\n"
    "                     [--format text|csv|json]\n"
    "       qt2xx-records [--db PATH | --server URL] report (--order ID | --since T [--until T]) [--units]\n"
    "                     --output FILE.pdf\n"
    "       qt2xx-records [--db PATH] status\n"
    "       qt2xx-records [--db PATH] label SERIAL [--order ID] --printer URI [--template FILE]\n"
    "                     [--operator ID] [--station NAME]\n";

enum class Command { Export, Summary, Order, Report, Status, Label };

struct CommandSpec {
    const char* name;
    Command command;
    const char* argument; // what follows the command's name, or null
    const char* help;
};

constexpr std::array kCommands{
    CommandSpec{"export", Command::Export, nullptr, "every record, oldest first, on stdout"},
    CommandSpec{"summary", Command::Summary, nullptr,
                "per day (UTC), or per work order, and parameter set: finished, each failure kind, yield in "
                "per cent"},
    CommandSpec{"order", Command::Order, "ID",
                "the work order's product, set, quantity, units finished, attempts failed, remaining, "
                "first-pass yield, first and last time, stations and operators, and any serial finished "
                "more than once"},
    CommandSpec{
        "report", Command::Report, nullptr,
        "the lot report of a work order, or the report of a period (its figures, per order and set, per "
        "station, per hour or day, failures by kind and the units never finished), as an A4 PDF"},
    CommandSpec{
        "status", Command::Status, nullptr,
        "per server the records go to: how many wait to be forwarded, since when, and the last error"},
    CommandSpec{"label", Command::Label, "SERIAL",
                "print the unit's label again from its latest finished record, and log who asked for it"},
};

const CommandSpec* commandNamed(const QString& name) {
    for (const CommandSpec& decl : kCommands)
        if (name == QLatin1String(decl.name))
            return &decl;
    return nullptr;
}

OptionSpecs optionDeclarations() {
    OptionSpecs specs{
        {QStringLiteral("db"), QStringLiteral("PATH"),
         QStringLiteral("the record database (default %1)").arg(DefaultRecordDatabase())},
        {QStringLiteral("server"), QStringLiteral("URL"),
         QStringLiteral(
             "read the central record server instead, all benches together: a libpq URL such as "
             "postgresql://reader@records.plant/qt2xx, never with a password in it; nothing on the "
             "server is created or changed, so a role that may only read will do")},
        {QStringLiteral("record-server"), QStringLiteral("URL"),
         QStringLiteral("order: the record server the benches claim the order's units on; its progress of "
                        "the order in the whole plant is shown beside this bench's (read only)")},
        {QStringLiteral("format"), QStringLiteral("F"),
         QStringLiteral(
             "export as csv (the default, with a header line) or json (one object per line); order "
             "as text (the default), csv or json")},
        {QStringLiteral("by"), QStringLiteral("K"),
         QStringLiteral("summary per day (the default) or per order")},
        {QStringLiteral("serials"),
         {},
         QStringLiteral("order: each unit (serial or unit number) with its attempts, final result, time, "
                        "device, operator and station")},
        {QStringLiteral("order"), QStringLiteral("ID"), QStringLiteral("report, label: the work order")},
        {QStringLiteral("output"), QStringLiteral("FILE"),
         QStringLiteral("report: the PDF to write; written whole or not at all")},
        {QStringLiteral("units"),
         {},
         QStringLiteral(
             "report of a period: also the table of every unit (an order's report has it always)")},
        {QStringLiteral("since"), QStringLiteral("T"),
         QStringLiteral("only records at or after T (ISO 8601, UTC when no zone is given; a date alone means "
                        "its midnight)")},
        {QStringLiteral("until"), QStringLiteral("T"), QStringLiteral("only records before T")},
        {QStringLiteral("result"), QStringLiteral("R"),
         QStringLiteral(
             "only records with result R: finished, transmit-failure, storage-failure, no-response, "
             "no-storage-response")},
        {QStringLiteral("printer"), QStringLiteral("URI"),
         QStringLiteral("label: where the label goes: tcp://HOST[:PORT], a device or file, or pdf:PATH")},
        {QStringLiteral("template"), QStringLiteral("FILE"),
         QStringLiteral("label: the ZPL template (default: the standard label)")},
    };
    for (OptionSpec& decl : ProductionOptionSpecs(ProductionOption::Context, RecordDefault::Off)) {
        decl.help = QStringLiteral("label: ") + decl.help.replace(QStringLiteral(" kept in every record"),
                                                                  QStringLiteral(" logged with the reprint"));
        specs.push_back(std::move(decl));
    }
    return specs;
}

void printHelp() {
    std::fputs(kUsage, stdout);
    QString commands;
    for (const CommandSpec& decl : kCommands) {
        QString name = QLatin1String(decl.name);
        if (decl.argument)
            name += QLatin1Char(' ') + QLatin1String(decl.argument);
        commands += HelpLine(name, QLatin1String(decl.help));
    }
    std::printf(
        "\nCommands:\n%s\nOptions:\n%s\n%s", qPrintable(commands),
        qPrintable(OptionsHelp(optionDeclarations())),
        qPrintable(ExitStatusHelp(
            {{ExitOk, "done; label: printed"},
             {ExitFailed, "the database could not be read to the end, no record matched (order, report, "
                          "label), the server holds no record tables, the report could not be written, "
                          "(status) forwarding to a server has stopped, or (label) the label was not "
                          "printed"},
             {ExitRefused, "refused arguments, or a database that is missing, not a record database or of "
                           "a newer version"},
             {ExitUnreachable, "the server, or (label) the printer, could not be reached"}})));
}

struct Options {
    QString database = DefaultRecordDatabase();
    QString server;       // a URL: read the central server instead
    QString recordServer; // order: a URL whose plant-wide progress is shown with the bench's figures
    Command command = Command::Export;
    bool json = false;
    std::optional<OrderFormat> orderFormat;
    bool byOrder = false;
    bool serials = false;
    bool units = false; // report of a period: the table of every unit too
    QString orderId;    // order ID, or report and label --order
    QString serial;     // label SERIAL
    QString output;
    QString printer;
    QString labelTemplate;
    QString operatorId;
    QString station;
    RecordFilter filter;
};

int refuse(const QString& message) {
    std::fprintf(stderr, "qt2xx-records: %s\n%s", qPrintable(message), kUsage);
    return ExitRefused;
}

// Which options go with which command.
std::optional<int> checkCombination(const Options& o) {
    const bool isExport = o.command == Command::Export;
    const bool isOrder = o.command == Command::Order;
    const bool isReport = o.command == Command::Report;
    const bool isLabel = o.command == Command::Label;
    const bool anyFilter = o.filter.since.isValid() || o.filter.until.isValid() || o.filter.result;
    if (o.orderFormat == OrderFormat::Text && !isOrder)
        return refuse(QStringLiteral("--format text is for order only"));
    if (o.byOrder && o.command != Command::Summary)
        return refuse(QStringLiteral("--by is for summary only"));
    if (o.serials && !isOrder)
        return refuse(QStringLiteral("--serials is for order only"));
    if (o.units && (!isReport || !o.orderId.isEmpty()))
        return refuse(QStringLiteral("--units is for the report of a period only"));
    if (!o.output.isEmpty() && !isReport)
        return refuse(QStringLiteral("--output is for report only"));
    if (!isLabel &&
        !(o.printer.isEmpty() && o.labelTemplate.isEmpty() && o.operatorId.isEmpty() && o.station.isEmpty()))
        return refuse(QStringLiteral("--printer, --template, --operator and --station are for label only"));
    if (!isExport && o.filter.result)
        return refuse(QStringLiteral("--result is for export only"));
    if (o.command == Command::Summary && (o.orderFormat || o.filter.until.isValid()))
        return refuse(QStringLiteral("summary takes --by and --since only"));
    if (!o.recordServer.isEmpty() && (!isOrder || !o.server.isEmpty()))
        return refuse(QStringLiteral("--record-server is for order on a bench's database only"));
    if (o.command == Command::Status && (o.orderFormat || anyFilter || !o.server.isEmpty()))
        return refuse(QStringLiteral("status takes --db only"));
    if (isOrder && (o.orderId.isEmpty() || anyFilter))
        return refuse(QStringLiteral("order takes an order ID, --serials and --format only"));
    if (!isOrder && !isReport && !isLabel && !o.orderId.isEmpty())
        return refuse(QStringLiteral("--order is for report and label only"));
    if (isLabel &&
        (o.serial.isEmpty() || o.printer.isEmpty() || o.orderFormat || anyFilter || !o.server.isEmpty()))
        return refuse(
            QStringLiteral("label takes a SERIAL, --printer URI and --order, --template, --operator, "
                           "--station and --db only"));
    if (isReport) {
        if (o.output.isEmpty())
            return refuse(QStringLiteral("report needs --output FILE.pdf"));
        if (o.orderFormat || o.orderId.isEmpty() == !o.filter.since.isValid() ||
            (!o.orderId.isEmpty() && o.filter.until.isValid()))
            return refuse(QStringLiteral("report takes either --order ID or --since T [--until T]"));
    }
    return std::nullopt;
}

// The command and what follows it.
std::optional<int> readCommand(const QStringList& positional, Options& options) {
    if (positional.isEmpty())
        return refuse(QStringLiteral("no command given"));
    const CommandSpec* decl = commandNamed(positional.constFirst());
    if (!decl)
        return refuse(QStringLiteral("unknown command %1").arg(positional.constFirst()));
    options.command = decl->command;
    const qsizetype taken = decl->argument ? 2 : 1;
    if (positional.size() > taken)
        return refuse(QStringLiteral("unexpected argument %1").arg(positional[taken]));
    if (decl->command == Command::Order)
        options.orderId = positional.value(1);
    else if (decl->command == Command::Label)
        options.serial = positional.value(1);
    return std::nullopt;
}

// Reads the values that must be one of a few words, or a time.
std::optional<int> readValues(const CommandLine& line, Options& options) {
    if (line.isSet(QStringLiteral("format"))) {
        const QString value = line.value(QStringLiteral("format"));
        if (value != QLatin1String("csv") && value != QLatin1String("json") && value != QLatin1String("text"))
            return refuse(QStringLiteral("unknown option or value: --format %1").arg(value));
        options.json = value == QLatin1String("json");
        options.orderFormat = value == QLatin1String("json")  ? OrderFormat::Json
                              : value == QLatin1String("csv") ? OrderFormat::Csv
                                                              : OrderFormat::Text;
    }
    if (line.isSet(QStringLiteral("by"))) {
        const QString value = line.value(QStringLiteral("by"));
        if (value != QLatin1String("day") && value != QLatin1String("order"))
            return refuse(QStringLiteral("unknown option or value: --by %1").arg(value));
        options.byOrder = value == QLatin1String("order");
    }
    for (const auto& [name, time] :
         {std::pair{"since", &options.filter.since}, {"until", &options.filter.until}}) {
        if (!line.isSet(QLatin1String(name)))
            continue;
        const QString value = line.value(QLatin1String(name));
        *time = ParseUtcTime(value);
        if (!time->isValid())
            return refuse(QStringLiteral("--%1: \"%2\" is not a time").arg(QLatin1String(name), value));
    }
    if (line.isSet(QStringLiteral("result"))) {
        options.filter.result = OutcomeFromResultName(line.value(QStringLiteral("result")));
        if (!options.filter.result)
            return refuse(QStringLiteral("unknown option or value: --result %1")
                              .arg(line.value(QStringLiteral("result"))));
    }
    return std::nullopt;
}

// Fills options from the arguments; an exit code when they are refused or only help was asked.
std::optional<int> parseArguments(const QStringList& args, Options& options) {
    CommandLine line(optionDeclarations());
    if (const Done parsed = line.parse(args); !parsed)
        return refuse(parsed.error());
    if (line.helpAsked()) {
        printHelp();
        return ExitOk;
    }
    if (line.isSet(QStringLiteral("db")))
        options.database = line.value(QStringLiteral("db"));
    options.server = line.value(QStringLiteral("server"));
    options.recordServer = line.value(QStringLiteral("record-server"));
    options.serials = line.isSet(QStringLiteral("serials"));
    options.units = line.isSet(QStringLiteral("units"));
    options.orderId = line.value(QStringLiteral("order"));
    options.output = line.value(QStringLiteral("output"));
    options.printer = line.value(QStringLiteral("printer"));
    options.labelTemplate = line.value(QStringLiteral("template"));
    options.operatorId = line.value(QStringLiteral("operator")).trimmed();
    options.station = line.value(QStringLiteral("station")).trimmed();
    if (const std::optional<int> refused = readValues(line, options))
        return refused;
    if (const std::optional<int> refused = readCommand(line.positional(), options))
        return refused;
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
                // Only the records made offline say so: the others' lines stay as they were.
                if (qstrcmp(fields[i]->name, record_schema::kOffline) == 0 && value.toInt() == 0)
                    continue;
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
    if (!options.orderId.isEmpty())
        scope.orderId = options.orderId;
    scope.since = options.filter.since;
    scope.until = options.filter.until;
    // The figures, the count and the units read from one snapshot, so that they agree.
    QSqlDatabase db = source.database();
    db.transaction();
    if (source.side() == RecordSource::Side::Server)
        QSqlQuery(db).exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    Result<std::optional<LotReport>> report = ReadLotReport(
        source, options.orderId.isEmpty() ? LotReport::Kind::Period : LotReport::Kind::Order, scope);
    if (!report || !*report) {
        fail(where,
             !report ? report.error()
             : options.orderId.isEmpty()
                 ? QStringLiteral("no records in that period; no report written")
                 : QStringLiteral("no records of the order %1; no report written").arg(options.orderId));
        return ExitFailed;
    }
    if (options.units)
        (*report)->unitTable = true;
    const Result<qint64> count = (*report)->unitTable ? CountLotUnits(source, scope) : qint64(0);
    const LotUnitReader units = [&](const std::function<void(const LotUnit&)>& unit) {
        return ForEachLotUnit(source, scope, unit);
    };
    if (!count) {
        fail(where, count.error());
        return ExitFailed;
    }
    if (const Done written = WriteLotReportPdf(**report, *count, units, options.output); !written) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(written.error()));
        return ExitFailed;
    }
    return ExitOk;
}

// The order's progress in the plant: read from the server being read, for an order the benches
// claim, or from the bench's record server. A server older than claims has none to show. Nothing
// when neither is given; else the exit status when the record server cannot be read.
std::optional<int> readPlant(const RecordSource& source, const Options& options,
                             std::optional<PlantFigures>& plant) {
    if (options.command != Command::Order)
        return std::nullopt;
    if (source.side() == RecordSource::Side::Server) {
        const Result<OrderProgress> progress = ReadOrderProgress(source.database(), options.orderId);
        if (progress && progress->shared)
            plant = PlantFigures{*progress, false};
        return std::nullopt;
    }
    if (options.recordServer.isEmpty())
        return std::nullopt;
    const Result<ServerAddress> address = ServerAddress::parse(options.recordServer);
    if (!address)
        return refuse(QStringLiteral("--record-server: %1").arg(address.error()));
    ServerStore server(*address);
    Done opened = server.openToRead();
    const Result<OrderProgress> progress = opened ? ReadOrderProgress(server.database(), options.orderId)
                                                  : Result<OrderProgress>(Fail(opened.error()));
    if (!progress) {
        fail(address->display(), progress.error());
        return opened ? ExitFailed : ExitUnreachable;
    }
    plant = PlantFigures{*progress, true};
    return std::nullopt;
}

int readRecords(const RecordSource& source, const Options& options, const QString& where) {
    if (options.command == Command::Report)
        return writeReport(source, options, where);
    std::optional<PlantFigures> plant;
    if (const std::optional<int> failed = readPlant(source, options, plant))
        return *failed;
    Done read;
    if (options.command == Command::Order)
        read = PrintOrder(source, options.orderId, options.orderFormat.value_or(OrderFormat::Text),
                          options.serials, plant);
    else if (options.command == Command::Summary)
        read = printSummary(source, options.byOrder, options.filter.since);
    else
        read = exportRecords(source, options.filter, options.json);
    if (!read) {
        fail(where, read.error());
        return ExitFailed;
    }
    return std::fflush(stdout) == 0 ? ExitOk : ExitFailed;
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
        return reading == ServerStore::Reading::Unreachable ? ExitUnreachable
               : reading == ServerStore::Reading::Newer     ? ExitRefused
                                                            : ExitFailed;
    }
    return readRecords(RecordSource(server.database(), RecordSource::Side::Server, server.schemaVersion()),
                       options, address->display());
}

// Prints a unit's label again: 0 printed, 1 not printed, 2 refused, 3 the printer not reached.
int printLabel(const Options& options) {
    const Result<LabelAddress> printer = ParseLabelAddress(options.printer);
    if (!printer)
        return refuse(QStringLiteral("--printer: %1").arg(printer.error()));
    Result<LabelTemplate> zpl = LabelTemplate::standard();
    if (!options.labelTemplate.isEmpty())
        zpl = LabelTemplate::read(options.labelTemplate);
    if (!zpl)
        return refuse(QStringLiteral("--template: %1").arg(zpl.error()));
    // The reprint is logged, so the database is opened to write; it is never created here.
    const Result<std::unique_ptr<RecordStore>> store =
        RecordStore::open(options.database, RecordStore::OpenMode::MustExist);
    if (!store) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(store.error()));
        return ExitRefused;
    }
    // Looked up first, so that a failure after it is the printer's.
    const Result<std::optional<LabelJob>> found =
        LabelQueue((*store)->database()).latestFinished(options.serial, options.orderId);
    if (!found || !*found) {
        fail(options.database, !found ? found.error()
                               : options.orderId.isEmpty()
                                   ? QStringLiteral("no finished record of the unit %1").arg(options.serial)
                                   : QStringLiteral("no finished record of the unit %1 for the order %2")
                                         .arg(options.serial, options.orderId));
        return ExitFailed;
    }
    const Done printed = PrintLabelAgain(**store, options.serial, options.orderId, *printer, *zpl,
                                         options.operatorId, options.station);
    if (!printed) {
        fail(printer->text, printed.error());
        return printer->kind == LabelAddress::Kind::Tcp ? ExitUnreachable : ExitFailed;
    }
    return ExitOk;
}

// Only a report, and a label printed into a PDF, draw; they need a platform for their fonts even
// with no screen.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char* argv[]) {
    bool draws = false;
    for (int i = 1; i < argc; ++i)
        draws = draws || qstrcmp(argv[i], "report") == 0 || QByteArray(argv[i]).startsWith("pdf:") ||
                QByteArray(argv[i]).startsWith("--printer=pdf:");
    if (!draws)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    Options options;
    if (const std::optional<int> code = parseArguments(QCoreApplication::arguments(), options))
        return *code;
    if (options.command == Command::Label)
        return printLabel(options);
    if (!options.server.isEmpty())
        return readServer(options);
    const Result<std::unique_ptr<RecordStore>> opened =
        RecordStore::open(options.database, RecordStore::OpenMode::ReadOnly);
    if (!opened) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(opened.error()));
        return ExitRefused;
    }
    const std::unique_ptr<RecordStore>& store = *opened;
    if (options.command == Command::Status) {
        // A file older than forwarding has nothing waiting for any server.
        const Result<std::vector<ForwardStatus>> servers =
            store->schemaVersion() >= record_schema::kForwardingVersion ? readForwardStatus(store->database())
                                                                        : std::vector<ForwardStatus>();
        if (!servers) {
            fail(options.database, servers.error());
            return ExitFailed;
        }
        const bool going = printStatus(*servers);
        return std::fflush(stdout) == 0 && going ? ExitOk : ExitFailed;
    }
    return readRecords(store->source(), options, options.database);
}
