#include "station/ProductionOptions.h"

#include "record/RecordStore.h"
#include "station/StationSession.h"

#include <QDir>

#include <charconv>

namespace qt2xx {
namespace {

Result<int> readCount(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    int count = 0;
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), count);
    if (error != std::errc() || end != bytes.data() + bytes.size() || count < 0 || bytes.isEmpty())
        return Fail(QStringLiteral("--count needs a whole number of 0 or more, not \"%1\"").arg(text));
    return count;
}

Done check(const ProductionOptions& options, RecordDefault fallback) {
    if (options.noRecord && options.database)
        return Fail(QStringLiteral("--record and --no-record exclude each other"));
    if (options.noRecord && options.server)
        return Fail(QStringLiteral("--record-server and --no-record exclude each other"));
    if (options.server && !options.recordDatabase(fallback))
        return Fail(QStringLiteral("--record-server needs --record"));
    return {};
}

// --record, --record=PATH, --no-record and --record-server=URL.
Done readRecordOptions(const CommandLine& line, ProductionOptions& options) {
    if (line.isSet(QStringLiteral("record")))
        options.database = DefaultRecordDatabase();
    if (const std::optional<QString> path = line.attached(QStringLiteral("record"))) {
        if (path->isEmpty())
            return Fail(QStringLiteral("--record= needs a database path"));
        options.database = *path;
    }
    options.noRecord = line.isSet(QStringLiteral("no-record"));
    if (const std::optional<QString> url = line.attached(QStringLiteral("record-server"))) {
        Result<ServerAddress> server = ServerAddress::parse(*url);
        if (!server)
            return Fail(server.error());
        options.server = std::move(*server);
    }
    return {};
}

} // namespace

std::optional<QString> ProductionOptions::recordDatabase(RecordDefault fallback) const {
    if (noRecord)
        return std::nullopt;
    if (database)
        return database;
    if (fallback == RecordDefault::On)
        return DefaultRecordDatabase();
    return std::nullopt;
}

void ProductionOptions::applyTo(SessionOptions& session, RecordDefault fallback) const {
    session.orderFile = orderFile;
    session.scan = scan;
    session.rework = rework;
    session.operatorId = operatorId;
    session.stationName = stationName;
    session.count = count;
    const std::optional<QString> kept = recordDatabase(fallback);
    session.record = kept.has_value();
    session.recordPath = kept.value_or(QString());
    session.recordServer = server;
    session.labelPrinter = labelPrinter;
    session.labelTemplate = labelTemplate;
}

OptionSpecs ProductionOptionSpecs(unsigned which, RecordDefault fallback) {
    OptionSpecs specs;
    if (which & ProductionOption::Order) {
        specs.push_back({QStringLiteral("order"), QStringLiteral("ORDER.json"),
                         QStringLiteral("program the set the work order names, once its hash is the one "
                                        "released, until the order's quantity is finished"),
                         QStringLiteral("an order file")});
    }
    if (which & ProductionOption::Count) {
        specs.push_back({QStringLiteral("count"), QStringLiteral("N"),
                         QStringLiteral("stop after N controllers finished over all ports (0, the default: "
                                        "until interrupted)"),
                         QStringLiteral("a whole number of 0 or more")});
    }
    if (which & ProductionOption::Scan) {
        specs.push_back({QStringLiteral("scan"),
                         {},
                         QStringLiteral("arm each port with one serial read from standard input, one per "
                                        "line; implied when the order has a serial pattern")});
    }
    if (which & ProductionOption::Rework) {
        specs.push_back({QStringLiteral("rework"),
                         {},
                         QStringLiteral("accept a serial that already has a finished record")});
    }
    if (which & ProductionOption::Context) {
        specs.push_back({QStringLiteral("operator"), QStringLiteral("ID"),
                         QStringLiteral("the operator, kept in every record"),
                         QStringLiteral("an operator's id")});
        specs.push_back({QStringLiteral("station"), QStringLiteral("NAME"),
                         QStringLiteral("the station's name kept in every record (default: the host name)"),
                         QStringLiteral("a name")});
    }
    if (which & ProductionOption::Record) {
        const QString where = QDir::toNativeSeparators(DefaultRecordDatabase());
        specs.push_back({QStringLiteral("record"),
                         {},
                         fallback == RecordDefault::On
                             ? QStringLiteral("keep the production record in %1 (the default)").arg(where)
                             : QStringLiteral("keep the production record in %1").arg(where)});
        specs.push_back({QStringLiteral("record"), QStringLiteral("PATH"),
                         QStringLiteral("keep the production record in the SQLite database PATH"),
                         QStringLiteral("a database path"), true});
        if (fallback == RecordDefault::On)
            specs.push_back({QStringLiteral("no-record"), {}, QStringLiteral("keep no production record")});
        specs.push_back({QStringLiteral("record-server"), QStringLiteral("URL"),
                         QStringLiteral("also forward every record to the PostgreSQL server at URL "
                                        "(postgresql://user@host:port/dbname?sslmode=require); the password "
                                        "comes from ~/.pgpass, PGPASSFILE or a service file, never from URL"),
                         QStringLiteral("a server URL"), true});
    }
    if (which & ProductionOption::Labels) {
        specs.push_back({QStringLiteral("label-printer"), QStringLiteral("URI"),
                         QStringLiteral("print each finished unit's label at URI: tcp://HOST[:PORT] (the "
                                        "printer's raw port), a device or file the label is appended to, or "
                                        "pdf:PATH"),
                         QStringLiteral("a printer address")});
        specs.push_back({QStringLiteral("label-template"), QStringLiteral("FILE"),
                         QStringLiteral("the ZPL template of the label (default: the order's label, else the "
                                        "standard label)"),
                         QStringLiteral("a template file")});
    }
    if (which & ProductionOption::Fixture) {
        specs.push_back({QStringLiteral("fixture"), QStringLiteral("FIXTURE.json"),
                         QStringLiteral("drive the slot lamps, the stack light and the buzzer, and read the "
                                        "unit-present contacts, through the Modbus I/O module the file "
                                        "names; its first slot belongs to the first port"),
                         QStringLiteral("a fixture file")});
    }
    return specs;
}

Result<ProductionOptions> ReadProductionOptions(const CommandLine& line, RecordDefault fallback) {
    ProductionOptions options;
    if (const Done read = readRecordOptions(line, options); !read)
        return Fail(read.error());
    // Every value option of the shared set but --count needs a value that is not blank.
    const auto take = [&line](const char* name, QString& value) -> Done {
        if (!line.isSet(QLatin1String(name)))
            return {};
        Result<QString> given = line.required(QLatin1String(name));
        if (!given)
            return Fail(given.error());
        value = *given;
        return {};
    };
    for (const auto& [name, value] : {std::pair<const char*, QString*>{"operator", &options.operatorId},
                                      {"station", &options.stationName},
                                      {"order", &options.orderFile},
                                      {"label-printer", &options.labelPrinter},
                                      {"label-template", &options.labelTemplate},
                                      {"fixture", &options.fixtureFile}}) {
        if (const Done read = take(name, *value); !read)
            return Fail(read.error());
    }
    options.rework = line.isSet(QStringLiteral("rework"));
    options.scan = line.isSet(QStringLiteral("scan"));
    if (line.isSet(QStringLiteral("count"))) {
        const Result<int> count = readCount(line.value(QStringLiteral("count")));
        if (!count)
            return Fail(count.error());
        options.count = *count;
    }
    if (const Done checked = check(options, fallback); !checked)
        return Fail(checked.error());
    return options;
}

} // namespace qt2xx
