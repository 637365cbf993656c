#include "support/FixtureRig.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace qt2xx::test {

void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        Spin(CoilLog::kSampleMs);
    }
    return true;
}

CoilLog::CoilLog(const ModbusModule& module) : m_module(module), m_seen(ModbusModule::kCoils, false) {
    m_timer.setInterval(kSampleMs);
    connect(&m_timer, &QTimer::timeout, this, &CoilLog::sample);
    m_timer.start();
}

bool CoilLog::seenOn(quint16 coil) {
    sample();
    return coil < m_seen.size() && m_seen[coil];
}

void CoilLog::clear() {
    std::fill(m_seen.begin(), m_seen.end(), false);
    sample();
}

void CoilLog::sample() {
    for (quint16 coil = 0; coil < ModbusModule::kCoils; ++coil) {
        if (m_module.coil(coil))
            m_seen[coil] = true;
    }
}

QString TestFixture::write(const QString& path, const ModbusModule& module, int slotCount) {
    QJsonArray slots;
    for (int slot = 1; slot <= slotCount; ++slot) {
        QJsonObject lamps{{QStringLiteral("busy"), busy(slot)},
                          {QStringLiteral("pass"), pass(slot)},
                          {QStringLiteral("fail"), fail(slot)}};
        if (slot == 1)
            lamps.insert(QStringLiteral("present"), kContact);
        slots.append(lamps);
    }
    const QJsonObject stack{{QStringLiteral("green"), kGreen},
                            {QStringLiteral("amber"), kAmber},
                            {QStringLiteral("red"), kRed},
                            {QStringLiteral("buzzer"), kBuzzer}};
    const QJsonObject fixture{{QStringLiteral("modbus"), module.address()},
                              {QStringLiteral("slots"), slots},
                              {QStringLiteral("stack_light"), stack}};
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(fixture).toJson());
    return path;
}

JsonProgram::JsonProgram(const QString& program, const QStringList& arguments) {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] { readLines(); });
    m_process.start(program, arguments);
}

JsonProgram::~JsonProgram() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void JsonProgram::readLines() {
    while (m_process.canReadLine()) {
        const QJsonDocument document = QJsonDocument::fromJson(m_process.readLine());
        if (document.isObject())
            m_events << document.object();
    }
}

QList<QJsonObject> JsonProgram::events(const QString& kind, const QString& device) {
    readLines();
    QList<QJsonObject> found;
    for (const QJsonObject& e : std::as_const(m_events)) {
        if ((kind.isEmpty() || e[QStringLiteral("event")].toString() == kind) &&
            (device.isEmpty() || e[QStringLiteral("device")].toString() == device))
            found << e;
    }
    return found;
}

bool JsonProgram::waitFor(const QString& kind, qsizetype count, const QString& device) {
    return SpinUntil(
               [&] {
                   return events(kind, device).size() >= count || m_process.state() == QProcess::NotRunning;
               },
               kWaitMs) &&
           events(kind, device).size() >= count;
}

void JsonProgram::writeLine(const QByteArray& line) {
    m_process.write(line.trimmed() + '\n');
}

bool JsonProgram::waitForExit(int timeoutMs) {
    const bool ended = SpinUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    readLines();
    return ended && m_process.exitStatus() == QProcess::NormalExit;
}

QString JsonProgram::story() {
    m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
    QString text = m_errors;
    const QList<QJsonObject> all = events();
    for (const QJsonObject& e : all.mid(std::max<qsizetype>(0, all.size() - 12)))
        text += QString::fromUtf8(QJsonDocument(e).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
    return text;
}

} // namespace qt2xx::test
