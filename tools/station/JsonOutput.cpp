#include "station/JsonOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace station {

using namespace qt2xx;

namespace {

QString timeText(const QDateTime& time) {
    return time.toString(Qt::ISODateWithMs);
}

QString frameHex(const DownloadFrame& frame) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())).toHex().toUpper());
}

// A value as JSON text, strings escaped.
QByteArray jsonText(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

// An object whose keys keep the order they are added in, the order the events are documented in.
class Line {
public:
    Line& add(const char* key, const QJsonValue& value) {
        m_text += m_text.isEmpty() ? "{" : ",";
        m_text += jsonText(QString::fromLatin1(key)) + ':' + jsonText(value);
        return *this;
    }
    QByteArray text() const { return m_text + '}'; }

private:
    QByteArray m_text;
};

} // namespace

JsonOutput::JsonOutput(Station& station, std::FILE* out) : m_station(station), m_out(out) {
    QObject::connect(&station, &Station::event, &station, [this](const PortEvent& e) { event(e); });
}

void JsonOutput::write(const QByteArray& line) {
    if (m_broken)
        return;
    std::fputs(line.constData(), m_out);
    std::fputc('\n', m_out);
    if (std::fflush(m_out) != 0 || std::ferror(m_out)) {
        m_broken = true;
        if (onBroken)
            onBroken();
    }
}

void JsonOutput::event(const PortEvent& event) {
    Line line;
    line.add("time", timeText(event.time))
        .add("device", event.device)
        .add("unit", event.unit)
        .add("event", PortEventName(event));
    if (event.finished())
        line.add("frame", frameHex(m_station.frame()));
    write(line.text());
}

void JsonOutput::forwarding(bool stopped, const QString& server, const QString& reason) {
    Line line;
    line.add("time", timeText(QDateTime::currentDateTimeUtc()))
        .add("event", stopped ? QStringLiteral("forwarding-stopped") : QStringLiteral("forwarding-resumed"))
        .add("server", server);
    if (stopped)
        line.add("reason", reason);
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
    Line line;
    line.add("time", timeText(QDateTime::currentDateTimeUtc()))
        .add("event", QStringLiteral("summary"))
        .add("finished", m_station.finished())
        .add("failed", m_station.failed())
        .add("unconfirmed", m_station.unconfirmed())
        .add("elapsed", double(m_station.elapsedMs()) / 1000.0)
        .add("exit", exitStatus)
        .add("ports", ports);
    write(line.text());
}

} // namespace station
