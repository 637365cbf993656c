#pragma once

// What the station's benchmarks share: lines with nothing at their far end, CPU over a stretch of wall
// time, the finishing times of controllers per port and the ports' worst tick timings.

#include "Measure.h"
#include "station/Station.h"
#include "support/BuildPaths.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

#include <pty.h>
#include <unistd.h>

namespace qt2xx::bench {

// A controller that answers at once costs three ticks: "8", the frame, "Finished".
constexpr double kControllerMs = 3 * double(kTickInterval.count());

// The set file the benchmarks program.
inline const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");

// Lets the event loop run for a while.
inline void Wait(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// A line with nothing at its far end: the master is held open and never answers.
struct SilentLine {
    int master = -1;
    int slave = -1;
    QString path;
    SilentLine() {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~SilentLine() {
        ::close(master);
        ::close(slave);
    }
    SilentLine(const SilentLine&) = delete;
    SilentLine& operator=(const SilentLine&) = delete;
};

// CPU seconds of this process (pid 0), or of another one by its /proc entry.
inline double CpuSecondsOf(qint64 pid) {
    if (pid == 0)
        return ProcessCpuSeconds();
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

// Per cent of one core that pid (0: this process) used over a stretch of wall time, the event loop
// running meanwhile.
inline double CpuPercentOver(std::chrono::milliseconds wall, qint64 pid = 0) {
    const double before = CpuSecondsOf(pid);
    QElapsedTimer clock;
    clock.start();
    Wait(wall);
    return 100.0 * (CpuSecondsOf(pid) - before) / (double(clock.nsecsElapsed()) / 1e9);
}

// When each port finished its controllers, in milliseconds since the clock started.
class FinishTimes {
public:
    FinishTimes() { m_clock.start(); }

    // Every controller the station finishes from now on.
    void watch(Station& station) {
        QObject::connect(&station, &Station::event, &station, [this](const PortEvent& e) {
            if (e.finished())
                add(e.device);
        });
    }
    void add(const QString& device) { m_times[device].push_back(m_clock.elapsed()); }
    void clear() { m_times.clear(); }

    int count() const {
        int sum = 0;
        for (const auto& times : m_times)
            sum += int(times.size());
        return sum;
    }

    // Per port with two controllers or more, its mean time between two of them against the three
    // ticks one costs; fastest port first.
    std::vector<double> ratios() const {
        std::vector<double> out;
        for (const auto& times : m_times) {
            if (times.size() >= 2)
                out.push_back(double(times.back() - times.front()) / double(times.size() - 1) /
                              kControllerMs);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    QElapsedTimer m_clock;
    QHash<QString, std::vector<qint64>> m_times;
};

// The worst of the station's ports, in milliseconds.
struct StationTiming {
    double longestTickMs = 0;
    double longestReceiveMs = 0;
    double largestGapMs = 0;
};

inline StationTiming TimingOf(const Station& station) {
    StationTiming t;
    for (const auto& port : station.ports()) {
        const PortTiming& p = port->timing();
        t.longestTickMs = std::max(t.longestTickMs, double(p.longestTick.count()) / 1e6);
        t.longestReceiveMs = std::max(t.longestReceiveMs, double(p.longestReceive.count()) / 1e6);
        t.largestGapMs = std::max(t.largestGapMs, double(p.largestTickGap.count()) / 1e6);
    }
    return t;
}

} // namespace qt2xx::bench
