#pragma once

#include "support/BuildPaths.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <optional>

namespace qt2xx::test {

// The virtual controller's closing line, "summary: programmed=P failed=F".
struct SimSummary {
    int programmed = 0;
    int failed = 0;
};
std::optional<SimSummary> ParseSummaryLine(QByteArrayView line);

// qt2xx-controller-sim as a separate process. The constructor starts it and waits for its first
// line, the device to open; every later line is collected as it comes. The destructor kills it.
class SimProcess {
public:
    static constexpr int kWaitMs = 5000;

    explicit SimProcess(const QStringList& arguments = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Empty when the process did not start or printed no device.
    QString device() const { return m_device; }

    // The next line not yet taken, waiting for it; empty when none comes in time.
    QByteArray nextLine(int timeoutMs = kWaitMs);
    // Every line after the device line that has arrived so far.
    QStringList lines();
    // The frames of the "programmed <n>: <hex>" lines so far, as hex.
    QStringList programmed();

    // Ends the process as SIGTERM does, or outright, and waits for it.
    void terminate();
    void kill();

    QProcess& process() { return m_process; }

private:
    void collect();

    QProcess m_process;
    QString m_device;
    QList<QByteArray> m_lines;
    qsizetype m_taken = 0;
};

} // namespace qt2xx::test
