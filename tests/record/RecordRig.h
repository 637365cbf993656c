#pragma once

// What the record tests share: the virtual controller as a process and qt2xx-records run on a file.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace qt2xx::test {

// qt2xx-controller-sim; its first line is the device to open.
class SimController {
public:
    explicit SimController(const QStringList& arguments = {}) {
        m_process.start(QStringLiteral(QT2XX_BIN_DIR "/qt2xx-controller-sim"), arguments);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine().trimmed());
    }
    ~SimController() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString device() const { return m_device; }

private:
    QProcess m_process;
    QString m_device;
};

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolResult RunRecordsTool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(QT2XX_BIN_DIR "/qt2xx-records"), arguments);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// The lines of a CSV export split at commas; for exports whose fields hold none.
inline QList<QStringList> CsvRows(const QByteArray& csv) {
    QList<QStringList> rows;
    for (const QByteArray& line : csv.split('\n'))
        if (!line.isEmpty())
            rows << QString::fromUtf8(line.chopped(line.endsWith('\r') ? 1 : 0)).split(QLatin1Char(','));
    return rows;
}

// The log's outcome lines and the result each is recorded as.
inline const QHash<QString, QString> kResultOfLine = {
    {QStringLiteral("Finished"), QStringLiteral("finished")},
    {QStringLiteral("Transmit Failure"), QStringLiteral("transmit-failure")},
    {QStringLiteral("Storage Failure"), QStringLiteral("storage-failure")},
    {QStringLiteral("No responce"), QStringLiteral("no-response")},
    {QStringLiteral("No Storage responce"), QStringLiteral("no-storage-response")}};

// The outcome lines among a log's lines, in order.
inline QStringList OutcomeLines(const QStringList& log) {
    QStringList out;
    for (const QString& line : log)
        if (kResultOfLine.contains(line))
            out << line;
    return out;
}

inline const QString kCsvHeader =
    QStringLiteral("recorded_at,run_id,unit,device,result,frame,parameter_sha256,parameter_file,program");

} // namespace qt2xx::test
