// Runs the download sequencer on the real timer against the virtual controller, answering at once,
// and prints the wall time per programmed controller beside the least the protocol's ticks allow.
// Then seeks for 30 s on a pseudo-terminal with nothing attached and prints the CPU time spent.
// Prints figures only; it never fails on time.

#include "BenchSupport.h"
#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace qt2xx;
using namespace std::chrono_literals;

using namespace qt2xx::bench;

namespace {

constexpr int kControllers = 50;
// A controller that answers at once costs three ticks: the one that writes "8", the one that writes
// the frame, and the one that reports it finished.
constexpr int kTicksPerController = 3;
constexpr double kTargetRatio = 1.05;
constexpr std::chrono::seconds kSeekTime = 30s;
constexpr double kTargetCpuPercent = 1.0;

class CountingLog : public StatusLog {
public:
    void ReceiveDisplay(const QString& strAdd, int intColor) override {
        if (strAdd == QLatin1String("Finished"))
            ++finished;
        else if (intColor == kLogRed)
            ++failures;
        if (finished == target && loop)
            loop->quit();
    }
    int finished = 0;
    int failures = 0;
    int target = -1;
    QEventLoop* loop = nullptr;
};

struct Run {
    explicit Run(const QString& portBox, Qt::TimerType type)
        : window(type), sequencer(port, window, log, boxes, values, frame) {
        window.portBox = portBox;
        QObject::connect(&window.timer, &QTimer::timeout, &window.timer,
                         [this] { sequencer.Timer1_Timer(); });
    }
    SerialPort port;
    TimedWindow window;
    CountingLog log;
    CountingMessageBox boxes;
    ParameterValues values;
    DownloadFrame frame{};
    DownloadSequencer sequencer;
};

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void programControllers(Qt::TimerType type, const char* name) {
    QProcess controller;
    controller.start(QStringLiteral(QT2XX_BIN_DIR "/qt2xx-controller-sim"),
                     {QStringLiteral("--count"), QString::number(kControllers)});
    while (!controller.canReadLine() && controller.waitForReadyRead(5000)) {
    }
    if (!controller.canReadLine()) {
        std::printf("the virtual controller did not start\n");
        return;
    }
    Run run(QString::fromLocal8Bit(controller.readLine().trimmed()), type);
    QEventLoop loop;
    run.log.loop = &loop;
    run.log.target = kControllers;
    QTimer::singleShot(kControllers * 2 * kTicksPerController * kTickInterval, &loop, &QEventLoop::quit);

    QElapsedTimer wall;
    wall.start();
    run.sequencer.cmdFileSend_Click();
    loop.exec();
    const double perController = double(wall.elapsed()) / run.log.finished;
    run.sequencer.cmdFileSend_Click();

    const double minimum = double(kTicksPerController * kTickInterval.count());
    std::printf("%s timer: %d controllers programmed, %d failures\n", name, run.log.finished,
                run.log.failures);
    std::printf(
        "  mean wall time per controller %.1f ms, tick-bound minimum %.0f ms, ratio %.3f (target <= %.2f)\n",
        perController, minimum, perController / minimum, kTargetRatio);
    controller.waitForFinished(5000);
}

void seekWithNothingAttached() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("no pseudo-terminal\n");
        return;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);

    Run run(QString::fromLocal8Bit(name), Qt::CoarseTimer);
    QEventLoop loop;
    QTimer::singleShot(kSeekTime, &loop, &QEventLoop::quit);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    run.sequencer.cmdFileSend_Click();
    loop.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    const double seconds = double(wall.elapsed()) / 1000;
    run.sequencer.cmdFileSend_Click();
    ::close(slave);
    ::close(master);

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
