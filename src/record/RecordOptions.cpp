#include "record/RecordOptions.h"

#include "record/RecordStore.h"

#include <QDir>

namespace qt2xx {
namespace {

const QString kRecord = QStringLiteral("--record");
const QString kRecordPath = QStringLiteral("--record=");
const QString kNoRecord = QStringLiteral("--no-record");
const QString kServer = QStringLiteral("--record-server=");

} // namespace

std::optional<QString> RecordOptions::recordDatabase(RecordDefault fallback) const {
    if (noRecord)
        return std::nullopt;
    if (database)
        return database;
    if (fallback == RecordDefault::On)
        return DefaultRecordDatabase();
    return std::nullopt;
}

OptionRead ReadRecordOption(const QString& argument, RecordOptions& options, QString* error) {
    if (argument == kRecord) {
        options.database = DefaultRecordDatabase();
    } else if (argument == kNoRecord) {
        options.noRecord = true;
    } else if (argument.startsWith(kServer)) {
        Result<ServerAddress> server = ServerAddress::parse(argument.mid(kServer.size()));
        if (!server) {
            *error = server.error();
            return OptionRead::Refused;
        }
        options.server = std::move(*server);
    } else if (argument.startsWith(kRecordPath)) {
        options.database = argument.mid(kRecordPath.size());
        if (options.database->isEmpty()) {
            *error = QStringLiteral("--record= needs a database path");
            return OptionRead::Refused;
        }
    } else {
        return OptionRead::NotMine;
    }
    return OptionRead::Taken;
}

OptionRead ReadContextOption(const QStringList& arguments, int& i, RecordOptions& options, QString* error) {
    const QString& arg = arguments[i];
    const auto take = [&](const QString& name, QString& value, const QString& needs) {
        if (arg.startsWith(name + QLatin1Char('=')))
            value = arg.mid(name.size() + 1);
        else
            value = ++i < arguments.size() ? arguments[i] : QString();
        value = value.trimmed();
        if (!value.isEmpty())
            return OptionRead::Taken;
        *error = QStringLiteral("%1 needs %2").arg(name, needs);
        return OptionRead::Refused;
    };
    const auto is = [&arg](const QString& name) {
        return arg == name || arg.startsWith(name + QLatin1Char('='));
    };
    if (is(QStringLiteral("--operator")))
        return take(QStringLiteral("--operator"), options.operatorId, QStringLiteral("an operator's id"));
    if (is(QStringLiteral("--station")))
        return take(QStringLiteral("--station"), options.stationName, QStringLiteral("a name"));
    return OptionRead::NotMine;
}

QString ContextOptionsHelp() {
    return QStringLiteral("  --operator ID    the operator, kept in every record\n"
                          "  --station NAME   the station's name kept in every record (default: the host\n"
                          "                   name)\n");
}

bool CheckRecordOptions(const RecordOptions& options, RecordDefault fallback, QString* error) {
    if (options.noRecord && options.database) {
        *error = QStringLiteral("--record and --no-record exclude each other");
        return false;
    }
    if (options.noRecord && options.server) {
        *error = QStringLiteral("--record-server and --no-record exclude each other");
        return false;
    }
    if (options.server && !options.recordDatabase(fallback)) {
        *error = QStringLiteral("--record-server needs --record");
        return false;
    }
    return true;
}

QString RecordOptionsHelp(RecordDefault fallback) {
    QString help =
        QStringLiteral("  --record         keep the production record in %1%2\n"
                       "  --record=PATH    keep the production record in the SQLite database PATH\n")
            .arg(QDir::toNativeSeparators(DefaultRecordDatabase()),
                 fallback == RecordDefault::On ? QStringLiteral(" (the default)") : QString());
    if (fallback == RecordDefault::On)
        help += QStringLiteral("  --no-record      keep no production record\n");
    return help +
           QStringLiteral("  --record-server=URL\n"
                          "                   also forward every record to the PostgreSQL server at URL\n"
                          "                   (postgresql://user@host:port/dbname?sslmode=require); the\n"
                          "                   password comes from ~/.pgpass, PGPASSFILE or a service\n"
                          "                   file, never from URL\n");
}

} // namespace qt2xx
