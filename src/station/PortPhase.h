#pragma once

#include "link/CommFlag.h"

#include <QString>

namespace qt2xx {

class StationPort;

// What a port is doing, as every face of the station shows it.
enum class PortPhase {
    Stopped,
    WaitingForScan, // scanned, and no serial armed yet
    Seeking,
    Programming, // an exchange is under way; the port's progress says how far
    Finished,    // the unit last ended finished, until the next begins
    Failed,      // the unit last ended failed or cut short, until the next begins
    NotOpen,     // the port did not open; no port of a station has it, a face names it for its slot
    Lost,        // the port went away; it is looked for again
    RemoveUnit,  // the unit ended and must be taken out before the slot takes another scan
    Checking,    // a scan is being checked before its slot is armed
};

PortPhase PhaseOf(const StationPort& port);

// The sequencer's step by name: "Idle", "Seeking", "Answered", "FrameSent", "Accepted", "Stored".
QString CommFlagName(CommFlag flag);

// What the operator is told to do for a port in PortPhase::RemoveUnit.
inline const QString kRemoveUnitText = QStringLiteral("remove the unit");

// The terminal's word for where a port stands: the sequencer's step while it runs, else "Lost",
// "Checking" (its scan waits for the plant's answer), "Remove" (its unit must be taken out), "Paused",
// "Waiting" (for a scan) or "Stopped".
QString PortStateName(const StationPort& port);

} // namespace qt2xx
