#pragma once

#include "forward/ServerAddress.h"
#include "platform/core/CommandLine.h"

#include <QString>

#include <optional>

namespace qt2xx {

struct SessionOptions;

// Whether a program keeps the production record when no record option is given: the window keeps
// none, the station and the gang window keep it in the default database.
enum class RecordDefault { Off, On };

// The options that the window, the station and the gang window share, each declared once here with
// its help, so that an option means the same and reads the same wherever it is given.
struct ProductionOption {
    enum : unsigned {
        Record = 1u << 0,  // --record, --record=PATH, --record-server=URL, and --no-record where
                           // records are kept by default
        Context = 1u << 1, // --operator ID, --station NAME
        Order = 1u << 2,   // --order ORDER.json
        Rework = 1u << 3,
        Scan = 1u << 4,
        Count = 1u << 5,
        Labels = 1u << 6,  // --label-printer URI, --label-template FILE
        Fixture = 1u << 7, // --fixture FIXTURE.json
    };
};

struct ProductionOptions {
    std::optional<QString> database; // --record (the default database) or --record=PATH
    bool noRecord = false;
    std::optional<ServerAddress> server;
    QString operatorId;  // --operator ID, in every record
    QString stationName; // --station NAME, in every record; empty: the host name
    QString orderFile;
    bool rework = false;
    bool scan = false;
    int count = 0; // 0: until stopped
    QString labelPrinter;
    QString labelTemplate;
    QString fixtureFile; // the fixture's signals; the face reads it once it knows its ports

    // The database records are kept in, or none.
    std::optional<QString> recordDatabase(RecordDefault fallback) const;
    // Hands what the options say to a station session; the set and the ports are the program's.
    void applyTo(SessionOptions& session, RecordDefault fallback) const;
};

// The declarations of the options in `which` (ProductionOption flags), in the order a --help lists
// them.
OptionSpecs ProductionOptionSpecs(unsigned which, RecordDefault fallback);

// Reads the declared production options of a parsed command line and checks them together:
// --no-record excludes the others, and without records kept by default --record-server needs
// --record. A refused server URL is never repeated: it may hold a password.
Result<ProductionOptions> ReadProductionOptions(const CommandLine& line, RecordDefault fallback);

} // namespace qt2xx
