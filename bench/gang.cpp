// The gang window beside qt2xx-station on the same number of ports, one after the other in one run.
// Each face first seeks on 16 pseudo-terminals with nothing attached, then programs 16 virtual
// controllers that answer at once, with a set file and without records. Prints, per face: CPU in per
// cent of one core while seeking and while programming, the longest tick handler and the largest gap
// between two ticks of a port (the window's only: the station's run in another process), and each
// port's mean time per controller beside the three ticks one costs. The window draws on the offscreen
// platform unless another is given. Prints figures only; it never fails on time.

#include "Measure.h"
#include "gang/GangWindow.h"
#include "platform/core/ExitStatus.h"
#include "station/Station.h"
#include "support/BuildPaths.h"
#include "support/SimProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include <pty.h>
#include <unistd.h>

using namespace qt2xx;
using namespace std::chrono_literals;

namespace {

constexpr int kPorts = 16;
constexpr auto kSeekTime = 5s;
constexpr auto kProgramTime = 6s;
constexpr double kControllerMs = 3 * double(kTickInterval.count()); // "8", frame, "Finished"
const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");

void wait(std::chrono::milliseconds time) {
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
};

// CPU seconds of this process, or of another one by its /proc entry.
double cpuSecondsOf(qint64 pid) {
    if (pid == 0)
        return bench::ProcessCpuSeconds();
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

// Per cent of one core that pid (0: this process) used over a stretch of wall time.
double cpuPercentOver(qint64 pid, std::chrono::milliseconds wall) {
    const double before = cpuSecondsOf(pid);
    QElapsedTimer clock;
    clock.start();
    wait(wall);
    return 100.0 * (cpuSecondsOf(pid) - before) / (double(clock.nsecsElapsed()) / 1e9);
}

struct Figures {
    double seekCpu = 0;
    double programCpu = 0;
    double longestTickMs = -1; // -1: not seen from here
    double largestGapMs = -1;
    std::vector<double> perPort; // mean time per controller / 300 ms, per port with two units or more
    int finished = 0;
};

// The ports' mean time between two finished controllers, against the three ticks one costs.
std::vector<double> ratios(const QHash<QString, std::vector<qint64>>& finishedAt) {
    std::vector<double> out;
    for (const auto& times : finishedAt) {
        if (times.size() >= 2)
            out.push_back(double(times.back() - times.front()) / double(times.size() - 1) / kControllerMs);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The gang window in this process, seeking then programming.
Figures measureWindow() {
    Figures f;
    std::vector<std::unique_ptr<SilentLine>> lines;
    gang::GangOptions options;
    options.session.setFile = kSetFile;
    options.session.record = false;
    for (int i = 0; i < kPorts; ++i) {
        lines.push_back(std::make_unique<SilentLine>());
        options.session.ports << lines.back()->path;
    }
    {
        gang::GangWindow window(options);
        window.resize(1920, 1080);
        window.show();
        window.begin(options.session);
        wait(300ms);
        f.seekCpu = cpuPercentOver(0, kSeekTime);
        window.session().station()->stop();
    }
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    options.session.ports.clear();
    for (int i = 0; i < kPorts; ++i) {
        sims.push_back(std::make_unique<test::SimProcess>());
        options.session.ports << sims.back()->device();
    }
    gang::GangWindow window(options);
    window.resize(1920, 1080);
    window.show();
    window.begin(options.session);
    Station& station = *window.session().station();
    QHash<QString, std::vector<qint64>> finishedAt;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&station, &Station::event, &station, [&](const PortEvent& e) {
        if (e.finished())
            finishedAt[e.device].push_back(clock.elapsed());
    });
    wait(1000ms); // every port in its rhythm
    finishedAt.clear();
    f.programCpu = cpuPercentOver(0, kProgramTime);
    station.stop();
    for (const auto& port : station.ports()) {
        f.longestTickMs = std::max(f.longestTickMs, double(port->timing().longestTick.count()) / 1e6);
        f.largestGapMs = std::max(f.largestGapMs, double(port->timing().largestTickGap.count()) / 1e6);
    }
    f.perPort = ratios(finishedAt);
    for (const auto& times : finishedAt)
        f.finished += int(times.size());
    return f;
}

// qt2xx-station in a process of its own on the same number of ports, with JSON lines read as they come.
Figures measureStation() {
    Figures f;
    const QString program = qt2xx::test::ProgramPath(u"qt2xx-station");
    const QStringList common{QStringLiteral("--json"), QStringLiteral("--no-record"), kSetFile};
    {
        std::vector<std::unique_ptr<SilentLine>> lines;
        QStringList args = common;
        for (int i = 0; i < kPorts; ++i) {
            lines.push_back(std::make_unique<SilentLine>());
            args << lines.back()->path;
        }
        QProcess station;
        station.start(program, args);
        station.waitForStarted();
        wait(300ms);
        f.seekCpu = cpuPercentOver(station.processId(), kSeekTime);
        station.terminate();
        station.waitForFinished(5000);
    }
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    QStringList args = common;
    for (int i = 0; i < kPorts; ++i) {
        sims.push_back(std::make_unique<test::SimProcess>());
        args << sims.back()->device();
    }
    QProcess station;
    QHash<QString, std::vector<qint64>> finishedAt;
    QElapsedTimer clock;
    clock.start();
    bool counting = false;
    QObject::connect(&station, &QProcess::readyReadStandardOutput, &station, [&] {
        while (station.canReadLine()) {
            const QJsonObject e = QJsonDocument::fromJson(station.readLine()).object();
            if (counting && e[QStringLiteral("event")].toString() == QLatin1String("finished"))
                finishedAt[e[QStringLiteral("device")].toString()].push_back(clock.elapsed());
        }
    });
    station.start(program, args);
    station.waitForStarted();
    wait(1000ms);
    counting = true;
    f.programCpu = cpuPercentOver(station.processId(), kProgramTime);
    counting = false;
    station.terminate();
    station.waitForFinished(5000);
    f.perPort = ratios(finishedAt);
    for (const auto& times : finishedAt)
        f.finished += int(times.size());
    return f;
}

void print(const char* face, const Figures& f) {
    const auto ms = [](double v) {
        return v < 0 ? QStringLiteral("-") : QStringLiteral("%1 ms").arg(v, 0, 'f', 2);
    };
    const double mean = f.perPort.empty() ? 0 : [&f] {
        double sum = 0;
        for (double r : f.perPort)
            sum += r;
        return sum / double(f.perPort.size());
    }();
    std::printf("| %s | %.2f %% | %.2f %% | %s | %s | %.3f, %.3f, %.3f | %zu | %d |\n", face, f.seekCpu,
                f.programCpu, qPrintable(ms(f.longestTickMs)), qPrintable(ms(f.largestGapMs)),
                f.perPort.empty() ? 0.0 : f.perPort.front(), mean, f.perPort.empty() ? 0.0 : f.perPort.back(),
                f.perPort.size(), f.finished);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%d ports, %lld s seeking and %lld s programming per face; time per controller / 300 ms as "
                "fastest, mean and slowest port\n",
                kPorts, qlonglong(kSeekTime.count()), qlonglong(kProgramTime.count()));
    std::printf("| face | CPU seeking | CPU programming | longest tick | largest tick gap "
                "| time per controller / 300 ms | ports | controllers |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    print("qt2xx-gang", measureWindow());
    print("qt2xx-station", measureStation());
    return qt2xx::ExitOk;
}
