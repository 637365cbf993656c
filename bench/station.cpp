// Runs the station on 1, 2, 4, 8 and 16 ports. First every port seeks on a pseudo-terminal with
// nothing attached; then every port has a virtual controller that answers at once. Prints, per
// number of ports: the mean time per controller on a port beside the three ticks one costs, the
// controllers per second of all ports together beside the ports' tick-bound rate, the station's CPU
// in per cent of one core while seeking and while programming, the longest tick and receive handler
// and the largest gap between two ticks of one port. Prints figures only; it never fails on time.

#include "station/Station.h"
#include "BenchRig.h"
#include "files/SetFile.h"
#include "platform/core/ExitStatus.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace qt2xx;
using namespace qt2xx::bench;
using namespace std::chrono_literals;

namespace {

constexpr int kPortCounts[] = {1, 2, 4, 8, 16};
constexpr auto kSeekTime = 5s;
constexpr auto kProgramTime = 6s;

double seekCpu(const SetFile& set, int ports) {
    std::vector<std::unique_ptr<SilentLine>> lines;
    Station station(set.values, set.frame);
    for (int i = 0; i < ports; ++i) {
        lines.push_back(std::make_unique<SilentLine>());
        station.addPort(lines.back()->path);
    }
    station.start();
    Wait(300ms); // the first opens
    const double cpu = CpuPercentOver(kSeekTime);
    station.stop();
    return cpu;
}

struct Programming {
    double meanRatio = 0;  // mean time per controller on a port / 300 ms, averaged over the ports
    double worstRatio = 0; // the same for the slowest port
    double perSecond = 0;
    double cpu = 0;
    int failed = 0;
    StationTiming timing;
};

Programming program(const SetFile& set, int ports) {
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    Station station(set.values, set.frame);
    for (int i = 0; i < ports; ++i) {
        sims.push_back(std::make_unique<test::SimProcess>());
        station.addPort(sims.back()->device());
    }
    FinishTimes finished;
    finished.watch(station);
    station.start();
    Wait(1000ms); // every port in its rhythm
    const int before = station.finished();
    QElapsedTimer window;
    window.start();
    Programming result;
    result.cpu = CpuPercentOver(kProgramTime);
    result.perSecond = double(station.finished() - before) / (double(window.elapsed()) / 1000.0);
    result.failed = station.failed();
    result.timing = TimingOf(station);
    station.stop();
    for (const double ratio : finished.ratios()) {
        result.meanRatio += ratio / ports;
        result.worstRatio = std::max(result.worstRatio, ratio);
    }
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const SetFile set = ReadSetFile(kSetFile);
    if (!set.ready()) {
        std::fprintf(stderr, "bench-station: %s: %s\n", qPrintable(kSetFile), qPrintable(set.problem));
        return qt2xx::ExitRefused;
    }
    std::printf(
        "| ports | time per controller / 300 ms (mean, slowest port) | controllers/s (tick bound) "
        "| CPU seeking | CPU programming | longest tick | longest receive | largest tick gap | failed |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (int ports : kPortCounts) {
        const double seeking = seekCpu(set, ports);
        const Programming p = program(set, ports);
        std::printf(
            "| %d | %.3f, %.3f | %.1f (%.1f) | %.2f %% | %.2f %% | %.2f ms | %.2f ms | %.1f ms | %d |\n",
            ports, p.meanRatio, p.worstRatio, p.perSecond, ports * 1000.0 / kControllerMs, seeking, p.cpu,
            p.timing.longestTickMs, p.timing.longestReceiveMs, p.timing.largestGapMs, p.failed);
        std::fflush(stdout);
    }
    std::printf("Goals: time per controller at most 1.02 at 16 ports; CPU seeking under 2 %% at 16 ports.\n");
    return qt2xx::ExitOk;
}
