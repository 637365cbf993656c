// A noisy line while seeking: 64 KiB of random bytes a second arrive for 10 s on the port of a running
// transmission, written to the master side of a pseudo-terminal in small chunks by a timer of another
// thread, as a device would send them. Prints the longest time the tick handler and the receive
// handler took, and how responsive the event loop stayed: the largest gap between two ticks of the
// 100 ms timer and the largest lateness of a 10 ms probe timer. Target: no handler over 20 ms.
// Prints figures only; it never fails on time.
//
// Run it with QT_QPA_PLATFORM=offscreen where there is no display.

#include "LogWindow.h"
#include "Measure.h"
#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"
#include "platform/widgets/RichTextBox.h"
#include "support/FakeWindow.h"
#include "support/Pty.h"
#include "support/Recorders.h"
#include "ui/StatusLogBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include <unistd.h>

using namespace qt2xx;
using namespace std::chrono_literals;

using namespace qt2xx::bench;

namespace {

constexpr qint64 kBytesPerSecond = 64 * 1024;
constexpr std::chrono::seconds kDefaultNoiseTime = 10s;
constexpr std::chrono::milliseconds kSettle = 300ms; // seeking before the noise and after it
constexpr std::chrono::milliseconds kNoiseInterval = 4ms;
constexpr qsizetype kChunk = 64;
constexpr std::chrono::milliseconds kProbeInterval = 10ms;
constexpr double kTargetHandlerMs = 20.0;

double threadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Writes random bytes at a steady rate from its own thread, and drains what the port writes.
class NoiseSource : public QObject {
public:
    explicit NoiseSource(int master) : m_master(master), m_timer(this) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kNoiseInterval);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { pour(); });
    }

    void start() {
        m_clock.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    qint64 written = 0;
    qint64 dropped = 0; // the line's buffer was full: nobody was reading
    qint64 drained = 0;

private:
    void pour() {
        char sink[4096];
        for (ssize_t n; (n = ::read(m_master, sink, sizeof sink)) > 0;)
            drained += n;
        const qint64 due = m_clock.nsecsElapsed() * kBytesPerSecond / 1'000'000'000 - written - dropped;
        for (qint64 left = due; left > 0; left -= kChunk)
            send(std::min<qint64>(left, kChunk));
    }

    void send(qint64 size) {
        char chunk[kChunk];
        for (qint64 i = 0; i < size; ++i)
            chunk[i] = char(m_random() & 0xFF);
        const ssize_t n = ::write(m_master, chunk, size_t(size));
        if (n < 0 && errno != EAGAIN)
            std::fprintf(stderr, "noise write failed: %d\n", errno);
        written += std::max<ssize_t>(n, 0);
        dropped += size - std::max<ssize_t>(n, 0);
    }

    int m_master;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::mt19937 m_random{20240601};
};

// The serial port, counting what the receive handler reads.
class CountingPort : public SerialPort {
public:
    QByteArray input() override {
        QByteArray chunk = SerialPort::input();
        received += chunk.size();
        return chunk;
    }
    qint64 received = 0;
};

// The sequencer with clocks around its two handlers: the receive handler is the sequencer's own slot
// on the port's event, so one slot connected before it and one after it bracket it.
class Rig {
public:
    explicit Rig(const QString& device) {
        window.portBox = device;
        window.liveTimer = true;
        QObject::connect(&port, &CommPort::onComm, &m_context, [this] { m_handlerClock.start(); });
        sequencer = std::make_unique<DownloadSequencer>(port, window, log, boxes, values, frame);
        QObject::connect(&port, &CommPort::onComm, &m_context,
                         [this] { receives.add(double(m_handlerClock.nsecsElapsed()) / 1e6); });
        QObject::connect(&window.timer, &QTimer::timeout, &m_context, [this] { tick(); });
    }

    LogWindow logWindow;
    StatusLogBox shownLog{*logWindow.box};
    CountingPort port;
    test::FakeWindow window{Qt::PreciseTimer};
    test::CountingLog log{&shownLog};
    test::RecordingMessageBox boxes;
    ParameterValues values;
    DownloadFrame frame{};
    std::unique_ptr<DownloadSequencer> sequencer;
    bench::Longest ticks;
    bench::Longest receives;
    double longestTickGapMs = 0;

private:
    void tick() {
        if (m_sinceTick.isValid())
            longestTickGapMs = std::max(longestTickGapMs, double(m_sinceTick.nsecsElapsed()) / 1e6);
        m_sinceTick.start();
        QElapsedTimer clock;
        clock.start();
        sequencer->Timer1_Timer();
        ticks.add(double(clock.nsecsElapsed()) / 1e6);
    }

    QObject m_context;
    QElapsedTimer m_handlerClock;
    QElapsedTimer m_sinceTick;
};

// A timer of 10 ms in the window's thread; how late it fires tells how long the loop was kept busy.
class Probe {
public:
    Probe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeInterval);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const double gap = double(m_clock.nsecsElapsed()) / 1e6;
            m_clock.start();
            longestGapMs = std::max(longestGapMs, gap);
        });
    }
    void start() {
        m_clock.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestGapMs = 0;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
};

void report(const Rig& rig, const NoiseSource& noise, double seconds, double cpuMs, const Probe& probe) {
    std::printf("noise for %.1f s: %lld bytes written (%.1f KiB/s), %lld dropped by a full line, "
                "%lld received by the port\n",
                seconds, noise.written, noise.written / 1024.0 / seconds, noise.dropped, rig.port.received);
    std::printf("receive handler: %d calls, longest %.3f ms, mean %.4f ms\n", rig.receives.count,
                rig.receives.longest, rig.receives.total / std::max(1, rig.receives.count));
    std::printf("tick handler:    %d calls, longest %.3f ms, mean %.4f ms\n", rig.ticks.count,
                rig.ticks.longest, rig.ticks.total / std::max(1, rig.ticks.count));
    std::printf("largest gap between two ticks %.1f ms (interval %lld ms); largest gap of the %lld ms probe "
                "%.1f ms\n",
                rig.longestTickGapMs, qint64(kTickInterval.count()), qint64(kProbeInterval.count()),
                probe.longestGapMs);
    std::printf("window thread CPU while the noise ran: %.0f ms, %.1f%% of one core\n", cpuMs,
                cpuMs / seconds / 10);
    std::printf("log:");
    for (auto it = rig.log.counts.begin(); it != rig.log.counts.end(); ++it)
        std::printf(" \"%s\" %d;", qPrintable(it.key()), it.value());
    std::printf(" message boxes %d; %lld bytes written by the port\n", int(rig.boxes.shown.size()),
                noise.drained);
    const double longest = std::max(rig.ticks.longest, rig.receives.longest);
    std::printf("target: no handler over %.0f ms: %s (longest %.3f ms)\n", kTargetHandlerMs,
                longest <= kTargetHandlerMs ? "met" : "missed", longest);
    // The probe may fire one interval late anyway; anything beyond that is the loop kept busy.
    const bool responsive = probe.longestGapMs <= double(kProbeInterval.count()) + kTargetHandlerMs;
    std::printf("event loop responsive throughout (probe never more than %.0f ms late): %s\n",
                kTargetHandlerMs, responsive ? "yes" : "no");
}

void wait(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows as it comes, even into a file
    std::chrono::seconds noiseTime = kDefaultNoiseTime;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--seconds"))
        noiseTime = std::chrono::seconds(arguments[2].toInt());
    test::Pty line;
    if (!line.isOpen() || noiseTime.count() < 1) {
        std::fprintf(stderr, "usage: bench-noisyline [--seconds N]\n");
        return 2;
    }
    Rig rig(line.slavePath());
    QThread writer;
    NoiseSource noise(line.masterDescriptor());
    noise.moveToThread(&writer);
    writer.start();

    rig.sequencer->cmdFileSend_Click();
    wait(kSettle);
    Probe probe;
    probe.start();
    const double cpuBefore = threadCpuMs();
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(&noise, [&noise] { noise.start(); });
    wait(noiseTime);
    QMetaObject::invokeMethod(
        &noise, [&noise] { noise.stop(); }, Qt::BlockingQueuedConnection);
    const double seconds = double(clock.elapsed()) / 1000;
    const double cpuMs = threadCpuMs() - cpuBefore;
    probe.stop();
    wait(kSettle);
    rig.sequencer->cmdFileSend_Click();
    writer.quit();
    writer.wait();
    report(rig, noise, seconds, cpuMs, probe);
    return 0;
}
