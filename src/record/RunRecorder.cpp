#include "record/RunRecorder.h"

#include "files/AsvFormat.h"
#include "params/ParameterTable.h"
#include "record/RecordWriter.h"

#include <QCryptographicHash>
#include <QSysInfo>
#include <QUuid>

namespace qt2xx {

namespace {

QString newUuid() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray frameBytes(const DownloadFrame& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

QString sha256Hex(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

QString RecordProgramName() {
    return QStringLiteral("qt2xx " QT2XX_VERSION);
}

QString ParameterSetSha256(const ParameterValues& values) {
    return sha256Hex(WriteAsv(values));
}

RunRecorder::RunRecorder(RecordWriter& writer, RunSource source, QString program)
    : m_writer(writer), m_source(std::move(source)), m_program(std::move(program)),
      m_host(QSysInfo::machineHostName()) {}

RunRecorder::~RunRecorder() {
    runStopped();
}

void RunRecorder::runStarted() {
    const ParameterValues& values = m_source.values();
    m_run = RunInfo{};
    m_run.runId = newUuid();
    m_run.startedAt = QDateTime::currentDateTimeUtc();
    m_run.device = m_source.device();
    m_run.program = m_program;
    m_run.host = m_host;
    for (int i = 0; i < kParameterCount; ++i)
        m_run.parameters << values[i];
    m_unit = 0;
    m_unitOpen = false;
    m_writer.beginRun(m_run);
}

void RunRecorder::controllerAnswered() {
    ++m_unit;
    m_unitOpen = true;
}

void RunRecorder::controllerDone(Outcome outcome) {
    if (m_run.runId.isEmpty())
        return;
    if (!std::exchange(m_unitOpen, false))
        ++m_unit;
    const ParameterValues& values = m_source.values();
    ProductionRecord record;
    record.recordId = newUuid();
    record.recordedAt = QDateTime::currentDateTimeUtc();
    record.runId = m_run.runId;
    record.unit = unit();
    record.device = m_source.device();
    if (record.device.isEmpty())
        record.device = m_run.device;
    record.result = outcome;
    record.frame = frameBytes(m_source.frame());
    const QByteArray asv = WriteAsv(values);
    record.parameterSha256 = sha256Hex(asv);
    if (m_source.openedFile) {
        const auto [path, opened] = m_source.openedFile();
        if (!path.isEmpty() && opened == asv)
            record.parameterFile = path;
    }
    record.program = m_program;
    record.orderId = m_context.orderId;
    record.operatorId = m_context.operatorId;
    record.station = m_context.station.isEmpty() ? m_host : m_context.station;
    if (m_unitLabel) {
        const UnitLabel label = m_unitLabel();
        record.unitSerial = label.serial;
        record.rework = label.rework;
        record.offline = label.offline;
    }
    const quint64 ticket = m_writer.submit(record);
    if (submitted)
        submitted(ticket, record);
}

void RunRecorder::runStopped() {
    if (m_run.runId.isEmpty())
        return;
    m_writer.endRun(m_run.runId, QDateTime::currentDateTimeUtc());
    m_run.runId.clear();
    m_unitOpen = false;
}

} // namespace qt2xx
