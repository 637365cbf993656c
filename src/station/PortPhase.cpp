#include "station/PortPhase.h"

#include "station/StationPort.h"

namespace qt2xx {

PortPhase PhaseOf(const StationPort& port) {
    if (port.lost())
        return PortPhase::Lost;
    if (port.busy())
        return PortPhase::Programming;
    if (!port.checkingSerial().isEmpty() || (port.held() && !port.running()))
        return PortPhase::Checking;
    // An armed port seeks its unit: the unit before it no longer matters. A port armed again for
    // the unit it watches seeks once the watch hands over.
    if (!port.serial().isEmpty() && (port.running() || port.watching()))
        return PortPhase::Seeking;
    if (port.watching())
        return PortPhase::RemoveUnit;
    if (const std::optional<UnitEnd>& end = port.lastEnd())
        return end->finished ? PortPhase::Finished : PortPhase::Failed;
    if (port.scanned() && port.paused())
        return PortPhase::WaitingForScan;
    return port.running() ? PortPhase::Seeking : PortPhase::Stopped;
}

QString CommFlagName(CommFlag flag) {
    switch (flag) {
    case CommFlag::Idle:
        return QStringLiteral("Idle");
    case CommFlag::Seeking:
        return QStringLiteral("Seeking");
    case CommFlag::Answered:
        return QStringLiteral("Answered");
    case CommFlag::FrameSent:
        return QStringLiteral("FrameSent");
    case CommFlag::Accepted:
        return QStringLiteral("Accepted");
    case CommFlag::Stored:
        return QStringLiteral("Stored");
    }
    return QString::number(int(flag));
}

QString PortStateName(const StationPort& port) {
    if (port.lost())
        return QStringLiteral("Lost");
    if ((!port.checkingSerial().isEmpty() || port.held()) && !port.busy())
        return QStringLiteral("Checking");
    if (port.watching() && port.serial().isEmpty())
        return QStringLiteral("Remove");
    if (port.paused())
        return port.mayRun() ? QStringLiteral("Paused") : QStringLiteral("Waiting");
    if (!port.running())
        return QStringLiteral("Stopped");
    return CommFlagName(port.state());
}

} // namespace qt2xx
