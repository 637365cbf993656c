#pragma once

#include "link/SequencerObserver.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace qt2xx {

// The words the record keeps for each outcome: "finished", "transmit-failure", "storage-failure",
// "no-response", "no-storage-response".
QString ResultName(Outcome outcome);
// The outcome a result word names; empty for any other text.
std::optional<Outcome> OutcomeFromResultName(const QString& name);
// Every outcome, in the order the record's summary lists them.
inline constexpr Outcome kOutcomes[] = {Outcome::Finished, Outcome::TransmitFailure, Outcome::StorageFailure,
                                        Outcome::NoResponse, Outcome::NoStorageResponse};

// One Start of the window or one port of the station: what makes its records readable without the
// file that produced them.
struct RunInfo {
    QString runId;          // a UUID made at each Start, without braces
    QDateTime startedAt;    // UTC
    QDateTime stoppedAt;    // UTC; invalid while the run goes on
    QString device;         // the device the port box or the station resolved
    QString program;        // program name and version, "qt2xx 1.0"
    QString host;           // the bench's host name
    QStringList parameters; // the 26 texts of the set
};

// One controller's outcome.
struct ProductionRecord {
    QString recordId;     // a UUID of its own: the same record forwarded twice is stored once
    QDateTime recordedAt; // UTC, kept to the millisecond
    QString runId;
    int unit = 0; // 1 for the first controller tried in the run on that device, then 2, 3, ...
    QString device;
    Outcome result = Outcome::Finished;
    QByteArray frame;        // the 32 bytes sent
    QString parameterSha256; // of the set as STORE writes it, lower-case hex
    QString parameterFile;   // the file last loaded with OPEN while the set is unchanged since; else empty
    QString program;
    QString orderId;     // the order the unit was programmed for; empty without one
    QString unitSerial;  // the unit's scanned serial; empty when units are not scanned
    QString operatorId;  // who programmed it, as given; may be empty
    QString station;     // the bench or fixture, the host name unless named
    bool rework = false; // a unit with a finished record programmed again on purpose
    // Made while the record server was away and the order let the bench go on by its own records:
    // the unit was begun without the plant's claim, so another bench may have made it too.
    bool offline = false;
};

// What is the same for every record of a run: the order, who, where.
struct RecordContext {
    QString orderId;
    QString operatorId;
    QString station;
};

// The unit a record belongs to, as scanned; empty when units have no serials.
struct UnitLabel {
    QString serial;
    bool rework = false;
    bool offline = false;
};

// A work order as the record keeps it, so the reports know its quantity without the order file.
struct OrderInfo {
    QString orderId;
    QString product;
    QString setSha256;
    int quantity = 0;
    QDateTime firstUsed; // UTC: the first run that programmed for it
};

} // namespace qt2xx
