#pragma once

#include "station/Station.h"

#include <QByteArray>

#include <cstdio>
#include <functional>

namespace qt2xx::station {

// One JSON object per line per event, flushed at once, and a summary when the station stops.
class JsonOutput {
public:
    JsonOutput(qt2xx::Station& station, std::FILE* out);
    void summary(int exitStatus);
    // {"event": "forwarding-stopped", "server": ..., "reason": ...} or "forwarding-resumed".
    void forwarding(bool stopped, const QString& server, const QString& reason = QString());
    // {"event": "records-failed", "reason": ...} or "records-resumed".
    void records(bool failed, const QString& reason = QString());
    // {"event": "armed", "device": ..., "serial": ...}
    void armed(const QString& device, const QString& serial);
    // {"event": "scan-refused", "serial": ..., "reason": ...}
    void scanRefused(const QString& serial, const QString& reason);
    // {"event": "scan-dropped", "device": ..., "slot": ..., "serial": ..., "reason": ...}: the unit was
    // taken out before its programming began, and its serial may be scanned again.
    void scanDropped(int slot, const QString& device, const QString& serial, const QString& reason);
    // {"event": "plant-rules", "rules": "plant"|"checking"|"stopped"|"local", "reason": ...} when the
    // rules that arm a slot change; the reason, why the server is away, only while it is.
    void plantRules(const QString& rules, const QString& reason);
    // {"event": "label-printed", "serial": ..., "record": ..., "waiting": ...}
    void labelPrinted(const QString& serial, const QString& recordId, qint64 waiting);
    // {"event": "label-waiting", "waiting": ..., "reason": ...}; waiting is null when the queue
    // cannot be read.
    void labelWaiting(qint64 waiting, const QString& reason);
    // {"event": "fixture-away", "reason": ...} or "fixture-back": the fixture's I/O module does not
    // answer, or answers again.
    void fixture(bool away, const QString& reason = QString());
    // Called once when stdout can no longer be written, e.g. the reader of a pipe has gone.
    std::function<void()> onBroken;

private:
    void write(const QByteArray& line);
    void event(const qt2xx::PortEvent& event);
    // {"event": "remove-unit", "device": ..., "serial": ...} when a scanned unit ended and the watch
    // for its removal begins, {"event": "unit-removed", "device": ...} when it has been taken out.
    void removal(const QString& device, const QString& serial, bool begins);

    qt2xx::Station& m_station;
    std::FILE* m_out;
    bool m_broken = false;
};

} // namespace qt2xx::station
