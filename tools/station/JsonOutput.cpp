#include "station/JsonOutput.h"

#include "params/FrameHex.h"
#include "platform/core/JsonLine.h"
#include "platform/core/UtcTime.h"

#include <QJsonArray>
#include <QJsonObject>

namespace qt2xx::station {

using namespace qt2xx;

JsonOutput::JsonOutput(Station& station, std::FILE* out) : m_station(station), m_out(out) {
    QObject::connect(&station, &Station::event, &station, [this](const PortEvent& e) { event(e); });
    QObject::connect(&station, &Station::removeUnit, &station,
                     [this](const QString& device, const QString& serial) { removal(device, serial, true); });
    QObject::connect(&station, &Station::unitRemoved, &station,
                     [this](const QString& device) { removal(device, QString(), false); });
}

void JsonOutput::removal(const QString& device, const QString& serial, bool begins) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("device", device)
        .add("event", begins ? QStringLiteral("remove-unit") : QStringLiteral("unit-removed"));
    if (begins && !serial.isEmpty())
        line.add("serial", serial);
    write(line.text());
}

void JsonOutput::write(const QByteArray& line) {
    if (m_broken)
        return;
    std::fputs(line.constData(), m_out);
    if (std::fflush(m_out) != 0 || std::ferror(m_out)) {
        m_broken = true;
        if (onBroken)
            onBroken();
    }
}

void JsonOutput::event(const PortEvent& event) {
    JsonLine line;
    line.add("time", UtcTimeText(event.time))
        .add("device", event.device)
        .add("unit", event.unit)
        .add("event", PortEventName(event));
    if (!event.serial.isEmpty())
        line.add("serial", event.serial);
    if (event.rework)
        line.add("rework", true);
    if (event.finished())
        line.add("frame", FrameHex(m_station.frame()));
    write(line.text());
}

void JsonOutput::armed(const QString& device, const QString& serial) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("device", device)
        .add("event", QStringLiteral("armed"))
        .add("serial", serial);
    write(line.text());
}

void JsonOutput::scanRefused(const QString& serial, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", QStringLiteral("scan-refused"))
        .add("serial", serial)
        .add("reason", reason);
    write(line.text());
}

void JsonOutput::scanDropped(int slot, const QString& device, const QString& serial, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("device", device)
        .add("event", QStringLiteral("scan-dropped"))
        .add("slot", slot)
        .add("serial", serial)
        .add("reason", reason);
    write(line.text());
}

void JsonOutput::plantRules(const QString& rules, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", QStringLiteral("plant-rules"))
        .add("rules", rules);
    if (!reason.isEmpty())
        line.add("reason", reason);
    write(line.text());
}

void JsonOutput::forwarding(bool stopped, const QString& server, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", stopped ? QStringLiteral("forwarding-stopped") : QStringLiteral("forwarding-resumed"))
        .add("server", server);
    if (stopped)
        line.add("reason", reason);
    write(line.text());
}

void JsonOutput::records(bool failed, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", failed ? QStringLiteral("records-failed") : QStringLiteral("records-resumed"));
    if (failed)
        line.add("reason", reason);
    write(line.text());
}

void JsonOutput::fixture(bool away, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", away ? QStringLiteral("fixture-away") : QStringLiteral("fixture-back"));
    if (away)
        line.add("reason", reason);
    write(line.text());
}

void JsonOutput::labelPrinted(const QString& serial, const QString& recordId, qint64 waiting) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", QStringLiteral("label-printed"))
        .add("serial", serial)
        .add("record", recordId)
        .add("waiting", waiting < 0 ? QJsonValue() : QJsonValue(waiting));
    write(line.text());
}

void JsonOutput::labelWaiting(qint64 waiting, const QString& reason) {
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", QStringLiteral("label-waiting"))
        .add("waiting", waiting < 0 ? QJsonValue() : QJsonValue(waiting))
        .add("reason", reason);
    write(line.text());
}

void JsonOutput::summary(int exitStatus) {
    QJsonArray ports;
    for (const auto& port : m_station.ports()) {
        ports.append(QJsonObject{{QStringLiteral("device"), port->device()},
                                 {QStringLiteral("finished"), port->finished()},
                                 {QStringLiteral("failed"), port->failed()},
                                 {QStringLiteral("interrupted"), port->interrupted()}});
    }
    JsonLine line;
    line.add("time", UtcTimeText(QDateTime::currentDateTimeUtc()))
        .add("event", QStringLiteral("summary"))
        .add("finished", m_station.finished())
        .add("failed", m_station.failed())
        .add("unconfirmed", m_station.unconfirmed())
        .add("elapsed", double(m_station.elapsedMs()) / 1000.0)
        .add("exit", exitStatus)
        .add("ports", ports);
    write(line.text());
}

} // namespace qt2xx::station
