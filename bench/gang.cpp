// The gang window beside qt2xx-station on the same number of ports, one after the other in one run.
// Each face first seeks on 16 pseudo-terminals with nothing attached, then programs 16 virtual
// controllers that answer at once, with a set file and without records. Prints, per face: CPU in per
// cent of one core while seeking and while programming, the longest tick handler and the largest gap
// between two ticks of a port (the window's only: the station's run in another process), and each
// port's mean time per controller beside the three ticks one costs. The window draws on the offscreen
// platform unless another is given. Prints figures only; it never fails on time.

#include "BenchRig.h"
#include "gang/GangWindow.h"
#include "platform/core/ExitStatus.h"
#include "station/Station.h"
#include "support/SimProcess.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace qt2xx;
using namespace qt2xx::bench;
using namespace std::chrono_literals;

namespace {

constexpr int kPorts = 16;
constexpr auto kSeekTime = 5s;
constexpr auto kProgramTime = 6s;

struct Figures {
    double seekCpu = 0;
    double programCpu = 0;
    double longestTickMs = -1; // -1: not seen from here
    double largestGapMs = -1;
    std::vector<double> perPort; // mean time per controller / 300 ms, per port with two units or more
    int finished = 0;
};

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
        Wait(300ms);
        f.seekCpu = CpuPercentOver(kSeekTime);
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
    FinishTimes finished;
    finished.watch(station);
    Wait(1000ms); // every port in its rhythm
    finished.clear();
    f.programCpu = CpuPercentOver(kProgramTime);
    station.stop();
    const StationTiming timing = TimingOf(station);
    f.longestTickMs = timing.longestTickMs;
    f.largestGapMs = timing.largestGapMs;
    f.perPort = finished.ratios();
    f.finished = finished.count();
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
        Wait(300ms);
        f.seekCpu = CpuPercentOver(kSeekTime, station.processId());
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
    FinishTimes finished;
    bool counting = false;
    QObject::connect(&station, &QProcess::readyReadStandardOutput, &station, [&] {
        while (station.canReadLine()) {
            const QJsonObject e = QJsonDocument::fromJson(station.readLine()).object();
            if (counting && e[QStringLiteral("event")].toString() == QLatin1String("finished"))
                finished.add(e[QStringLiteral("device")].toString());
        }
    });
    station.start(program, args);
    station.waitForStarted();
    Wait(1000ms);
    counting = true;
    f.programCpu = CpuPercentOver(kProgramTime, station.processId());
    counting = false;
    station.terminate();
    station.waitForFinished(5000);
    f.perPort = finished.ratios();
    f.finished = finished.count();
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
