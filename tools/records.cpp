// Reads the production record: every controller's outcome as CSV or JSON lines, or a summary per day
// and parameter set.

#include "platform/core/JsonLine.h"
#include "record/ForwardOutbox.h"
#include "record/RecordStore.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>
#include <vector>

using namespace qt2xx;

namespace {

enum ExitCode { kOk = 0, kFailed = 1, kRefused = 2 };

constexpr char kUsage[] =
    "usage: qt2xx-records [--db PATH] export [--format csv|json] [--since T] [--until T] [--result R]\n"
    "       qt2xx-records [--db PATH] summary [--since T]\n"
    "       qt2xx-records [--db PATH] status\n";

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

// The exported fields: every record column but its id, in the order the export query reads them.
std::vector<const record_schema::RecordColumn*> exportFields() {
    std::vector<const record_schema::RecordColumn*> fields;
    for (const record_schema::RecordColumn& column : record_schema::RecordColumns())
        if (column.exported)
            fields.push_back(&column);
    return fields;
}

// Appends text as UTF-8 without a buffer of its own.
void appendUtf8(QByteArray& line, QStringView text) {
    const qsizetype at = line.size();
    line.resize(at + text.size() * 3);
    QStringEncoder encoder(QStringConverter::Utf8);
    char* end = encoder.appendToBuffer(line.data() + at, text);
    line.resize(end - line.constData());
}

// A field is quoted when it holds a comma, a double quote or a line end; quotes inside are doubled.
void appendCsvField(QByteArray& line, const QString& field) {
    const bool plain = std::none_of(field.cbegin(), field.cend(), [](QChar c) {
        return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
    });
    if (plain)
        return appendUtf8(line, field);
    line += '"';
    appendUtf8(line, QString(field).replace(QLatin1String("\""), QLatin1String("\"\"")));
    line += '"';
}

// Rows are printed as they are read, so memory stays the same whatever the size of the database.
bool exportRecords(const RecordStore& store, const RecordFilter& filter, bool json, QString* error) {
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
    return store.forEachRecord(
        filter, RecordStore::Fields::Exported,
        [&](const QSqlQuery& q) {
            line.clear();
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const QVariant value = q.value(int(i));
                if (int(i) == resultIndex && !OutcomeFromResultName(value.toString())) {
                    *error = QStringLiteral("a record has the unknown result \"%1\"").arg(value.toString());
                    return false;
                }
                if (json) {
                    line += i == 0 ? "{" : ",";
                    line += names[i];
                    line += ':';
                    line += JsonText(fields[i]->type == record_schema::SqlType::Integer
                                         ? QJsonValue(value.toInt())
                                         : QJsonValue(value.toString()));
                } else {
                    if (i > 0)
                        line += ',';
                    appendCsvField(line, value.toString());
                }
            }
            line += json ? "}\n" : "\r\n";
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            return true;
        },
        error);
}

// Per day and parameter set, one line as soon as the counts of its last result have arrived.
bool printSummary(const RecordStore& store, const QDateTime& since, QString* error) {
    QString header =
        QStringLiteral("%1  %2").arg(QStringLiteral("day"), -10).arg(QStringLiteral("parameter set"), -12);
    for (Outcome outcome : kOutcomes)
        header += QStringLiteral("  %1").arg(ResultName(outcome));
    writeLine(header + QStringLiteral("  yield\n"));
    std::optional<std::pair<QString, QString>> key;
    std::map<Outcome, qint64> counts;
    const auto flush = [&] {
        if (!key)
            return;
        QString line = QStringLiteral("%1  %2").arg(key->first, -10).arg(key->second.left(12), -12);
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
    const bool ok = store.forEachDayCount(
        since,
        [&](const RecordStore::DayCount& row) {
            const std::pair<QString, QString> rowKey{row.day, row.parameterSha256};
            if (key != rowKey) {
                flush();
                key = rowKey;
            }
            counts[row.result] += row.count;
        },
        error);
    if (ok)
        flush();
    return ok;
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
        RecordStore::open(options.database, &error, RecordStore::OpenMode::ReadOnly);
    if (!store) {
        std::fprintf(stderr, "qt2xx-records: %s\n", qPrintable(error));
        return kRefused;
    }
    if (options.command == QLatin1String("status")) {
        std::vector<ForwardStatus> servers;
        // A file older than forwarding has nothing waiting for any server.
        if (store->schemaVersion() >= record_schema::kForwardingVersion &&
            !readForwardStatus(store->database(), &servers, &error)) {
            std::fprintf(stderr, "qt2xx-records: %s: %s\n", qPrintable(options.database), qPrintable(error));
            return kFailed;
        }
        const bool going = printStatus(servers);
        return std::fflush(stdout) == 0 && going ? kOk : kFailed;
    }
    const bool read = options.command == QLatin1String("summary")
                          ? printSummary(*store, options.filter.since, &error)
                          : exportRecords(*store, options.filter, options.json, &error);
    if (!read) {
        std::fprintf(stderr, "qt2xx-records: %s: %s\n", qPrintable(options.database), qPrintable(error));
        return kFailed;
    }
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}
