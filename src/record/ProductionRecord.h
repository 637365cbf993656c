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
};

} // namespace qt2xx
