// Runs the download sequencer on the real timer against the virtual controller, answering at once,
// and prints the wall time per programmed controller beside the least the protocol's ticks allow.
// Then seeks for 30 s on a pseudo-terminal with nothing attached and prints the CPU time spent.
// Prints figures only; it never fails on time.

#include "Measure.h"
#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"
#include "support/FakeWindow.h"
#include "support/Pty.h"
#include "support/Recorders.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>

using namespace qt2xx;
using namespace std::chrono_literals;

namespace {

constexpr int kControllers = 50;
// A controller that answers at once costs three ticks: the one that writes "8", the one that writes
// the frame, and the one that reports it finished.
constexpr int kTicksPerController = 3;
constexpr double kTargetRatio = 1.05;
constexpr std::chrono::seconds kSeekTime = 30s;
constexpr double kTargetCpuPercent = 1.0;

struct Run {
    explicit Run(const QString& portBox, Qt::TimerType type)
        : window(type), sequencer(port, window, log, boxes, values, frame) {
        window.portBox = portBox;
        window.liveTimer = true;
        QObject::connect(&window.timer, &QTimer::timeout, &window.timer,
                         [this] { sequencer.Timer1_Timer(); });
    }
    SerialPort port;
    test::FakeWindow window;
    test::CountingLog log;
    test::RecordingMessageBox boxes;
    ParameterValues values;
    DownloadFrame frame{};
    DownloadSequencer sequencer;
};

void programControllers(Qt::TimerType type, const char* name) {
    test::SimProcess controller({QStringLiteral("--count"), QString::number(kControllers)});
    if (controller.device().isEmpty()) {
        std::printf("the virtual controller did not start\n");
        return;
    }
    Run run(controller.device(), type);
    QEventLoop loop;
    run.log.onMessage = [&run, &loop](const QString& strAdd, LogColor) {
        if (strAdd == kFinishedMessage && run.log.counts.value(kFinishedMessage) == kControllers)
            loop.quit();
    };
    QTimer::singleShot(kControllers * 2 * kTicksPerController * kTickInterval, &loop, &QEventLoop::quit);

    QElapsedTimer wall;
    wall.start();
    run.sequencer.cmdFileSend_Click();
    loop.exec();
    const int finished = run.log.counts.value(kFinishedMessage);
    const double perController = double(wall.elapsed()) / finished;
    run.sequencer.cmdFileSend_Click();

    const double minimum = double(kTicksPerController * kTickInterval.count());
    std::printf("%s timer: %d controllers programmed, %d failures\n", name, finished, run.log.redCount);
    std::printf(
        "  mean wall time per controller %.1f ms, tick-bound minimum %.0f ms, ratio %.3f (target <= %.2f)\n",
        perController, minimum, perController / minimum, kTargetRatio);
    controller.process().waitForFinished(test::SimProcess::kWaitMs);
}

void seekWithNothingAttached() {
    test::Pty line;
    if (!line.isOpen()) {
        std::printf("no pseudo-terminal\n");
        return;
    }
    Run run(line.slavePath(), Qt::CoarseTimer);
    QEventLoop loop;
    QTimer::singleShot(kSeekTime, &loop, &QEventLoop::quit);
    const double cpuBefore = bench::ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    run.sequencer.cmdFileSend_Click();
    loop.exec();
    const double cpu = bench::ProcessCpuSeconds() - cpuBefore;
    const double seconds = double(wall.elapsed()) / 1000;
    run.sequencer.cmdFileSend_Click();

    std::printf("seeking %.1f s with nothing attached: %.3f s CPU, %.3f%% of one core (target < %.0f%%)\n",
                seconds, cpu, 100 * cpu / seconds, kTargetCpuPercent);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    programControllers(Qt::CoarseTimer, "coarse");
    programControllers(Qt::PreciseTimer, "precise");
    seekWithNothingAttached();
    return 0;
}
