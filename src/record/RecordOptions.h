#pragma once

#include "forward/ServerAddress.h"

#include <QString>

#include <optional>

namespace qt2xx {

// Whether a program keeps the production record when no record option is given: the window keeps
// none, the station keeps it in the default database.
enum class RecordDefault { Off, On };

// The record options every program that keeps the production record shares: --record, --record=PATH,
// --no-record and --record-server=URL. The same parser and help text serve the window and the
// companion programs, so an option means the same wherever it is given.
struct RecordOptions {
    std::optional<QString> database; // --record (the default database) or --record=PATH
    bool noRecord = false;
    std::optional<ServerAddress> server;
    QString operatorId;  // --operator ID, in every record
    QString stationName; // --station NAME, in every record; empty: the host name

    // The database records are kept in, or none.
    std::optional<QString> recordDatabase(RecordDefault fallback) const;
};

enum class OptionRead {
    NotMine, // the argument is no record option
    Taken,
    Refused, // a record option with a value that is refused; the error says why
};

// Reads one argument into options. A refused server URL is never repeated in the error: it may hold
// a password.
OptionRead ReadRecordOption(const QString& argument, RecordOptions& options, QString* error);

// Reads --operator ID, --operator=ID, --station NAME or --station=NAME at arguments[i], moving i past
// a separate value.
OptionRead ReadContextOption(const QStringList& arguments, int& i, RecordOptions& options, QString* error);

// Checks the options once every argument is read: --no-record excludes the others, and without records
// kept by default --record-server needs --record.
bool CheckRecordOptions(const RecordOptions& options, RecordDefault fallback, QString* error);

// The help lines of --operator and --station.
QString ContextOptionsHelp();

// The help lines of the record options, in the two-column layout of a program's --help; the line of
// --no-record is given where the program keeps records by default.
QString RecordOptionsHelp(RecordDefault fallback);

} // namespace qt2xx
