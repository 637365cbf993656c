#pragma once

#include "link/SequencerObserver.h"
#include "link/TransmitWindow.h"

#include <QString>

namespace qt2xx {

// The Start/Stop command's two captions; "Start Transmit" is also the log's line for a started run.
inline const QString kStartTransmit = QStringLiteral("Start Transmit");
inline const QString kStopTransmit = QStringLiteral("Stop Transmit");

// The status log's lines of a run.
inline const QString kCommClosedMessage = QStringLiteral("The Comm is Closed");
inline const QString kFinishedMessage = QStringLiteral("Finished");
inline const QString kTransmitFailureMessage = QStringLiteral("Transmit Failure");
inline const QString kStorageFailureMessage = QStringLiteral("Storage Failure");
inline const QString kNoResponseMessage = QStringLiteral("No responce");
inline const QString kNoStorageResponseMessage = QStringLiteral("No Storage responce");
inline const QString kCommLostMessage = QStringLiteral("The Comm is lost");
inline const QString kCommBackMessage = QStringLiteral("The Comm is back");

// One line of the status log: its text and its colour code.
struct LogEntry {
    QString text;
    LogColor color = kLogBlue;
};

// The line the sequencer logs for a controller's outcome: blue for "Finished", red for every failure.
LogEntry OutcomeLogEntry(Outcome outcome);

} // namespace qt2xx
