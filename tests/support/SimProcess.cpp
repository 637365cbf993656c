#include "support/SimProcess.h"

#include <QRegularExpression>

namespace qt2xx::test {

std::optional<SimSummary> ParseSummaryLine(QByteArrayView line) {
    static const QRegularExpression pattern(QStringLiteral("^summary: programmed=(\\d+) failed=(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(line).trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return SimSummary{match.captured(1).toInt(), match.captured(2).toInt()};
}

SimProcess::SimProcess(const QStringList& arguments) {
    m_process.start(ControllerSimPath(), arguments);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(kWaitMs)) {
    }
    m_device = QString::fromLocal8Bit(m_process.readLine().trimmed());
}

SimProcess::~SimProcess() {
    kill();
}

void SimProcess::collect() {
    while (m_process.canReadLine())
        m_lines.append(m_process.readLine().trimmed());
}

QByteArray SimProcess::nextLine(int timeoutMs) {
    collect();
    while (m_taken >= m_lines.size()) {
        if (!m_process.waitForReadyRead(timeoutMs))
            return {};
        collect();
    }
    return m_lines[m_taken++];
}

QStringList SimProcess::lines() {
    collect();
    QStringList out;
    for (const QByteArray& line : m_lines)
        out << QString::fromLocal8Bit(line);
    return out;
}

QStringList SimProcess::programmed() {
    QStringList frames;
    for (const QString& line : lines()) {
        if (line.startsWith(QStringLiteral("programmed ")))
            frames << line.section(QStringLiteral(": "), 1);
    }
    return frames;
}

void SimProcess::terminate() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    m_process.waitForFinished(kWaitMs);
    collect();
}

void SimProcess::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(kWaitMs);
}

} // namespace qt2xx::test
