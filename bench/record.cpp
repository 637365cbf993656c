// Programs controllers against the virtual controller with the production record off and then on,
// and prints the longest tick and receive handler of each run, and the commit latency of the
// records (median, 99th percentile, maximum). The database goes into the current folder unless a
// path is given, so that it sits on a real disk. Prints figures only; it never fails on time.
//
// usage: bench-record [CONTROLLERS] [DATABASE]

#include "LogWindow.h"
#include "Measure.h"
#include "link/DownloadSequencer.h"
#include "platform/core/SerialPort.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "support/FakeWindow.h"
#include "support/Recorders.h"
#include "support/SimProcess.h"
#include "ui/StatusLogBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace qt2xx;
using namespace qt2xx::bench;

namespace {

constexpr int kDefaultControllers = 200;

struct Run {
    Run(const QString& device, RichTextBox& box)
        : logBox(box), log(&logBox),
          timeReceive(QObject::connect(&port, &CommPort::onComm, &port, [this] { receiveClock.start(); })),
          sequencer(port, window, log, boxes, values, frame) {
        // Connected after the sequencer's own handler, so it sees the handler's end.
        QObject::connect(&port, &CommPort::onComm, &port,
                         [this] { receive.add(double(receiveClock.nsecsElapsed()) / 1e6); });
        window.portBox = device;
        window.liveTimer = true;
        QObject::connect(&window.timer, &QTimer::timeout, &window.timer, [this] {
            QElapsedTimer clock;
            clock.start();
            sequencer.Timer1_Timer();
            tick.add(double(clock.nsecsElapsed()) / 1e6);
        });
    }

    SerialPort port;
    test::FakeWindow window{Qt::PreciseTimer};
    StatusLogBox logBox;
    test::CountingLog log;
    test::RecordingMessageBox boxes;
    ParameterValues values;
    DownloadFrame frame{};
    QElapsedTimer receiveClock;
    QMetaObject::Connection timeReceive;
    DownloadSequencer sequencer;
    Longest tick;
    Longest receive;
};

// Runs until `controllers` are finished; the writer, when given, records them.
void programControllers(Run& run, int controllers) {
    QEventLoop loop;
    run.log.onMessage = [&](const QString& text, LogColor) {
        if (text == kFinishedMessage && run.log.counts.value(text) >= controllers)
            loop.quit();
    };
    run.sequencer.cmdFileSend_Click();
    loop.exec();
    run.sequencer.cmdFileSend_Click();
}

long long micros(const Longest& longest) {
    return static_cast<long long>(longest.longest * 1000.0);
}

double percentile(std::vector<qint64> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return double(values[size_t(p * double(values.size() - 1))]) / 1000.0;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int controllers =
        argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : kDefaultControllers;
    const QString database = QDir::current().absoluteFilePath(
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("bench-record.sqlite"));
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(database + QLatin1String(suffix));

    test::SimProcess sim;
    const QString device = sim.device();
    if (device.isEmpty()) {
        std::fprintf(stderr, "bench-record: the virtual controller did not start\n");
        return 3;
    }
    LogWindow logWindow;

    Run off(device, *logWindow.box);
    programControllers(off, controllers);

    Run on(device, *logWindow.box);
    RecordWriter writer(database);
    std::vector<qint64> latencies;
    QHash<quint64, qint64> submittedAt;
    QElapsedTimer clock;
    clock.start();
    RunRecorder recorder(writer, RunSource{[&] { return on.port.openedDevice(); },
                                           [&]() -> const ParameterValues& { return on.values; },
                                           [&]() -> const DownloadFrame& { return on.frame; },
                                           {}});
    recorder.submitted = [&](quint64 ticket, const ProductionRecord&) {
        submittedAt.insert(ticket, clock.nsecsElapsed());
    };
    QObject::connect(&writer, &RecordWriter::committed, &writer, [&](quint64 ticket, const QString&) {
        latencies.push_back(clock.nsecsElapsed() - submittedAt.value(ticket));
    });
    on.sequencer.setObserver(&recorder);
    programControllers(on, controllers);
    const bool flushed = writer.flush(std::chrono::seconds(30));
    QCoreApplication::processEvents();
    sim.terminate();

    std::printf("controllers per run: %d, database %s%s\n", controllers, qPrintable(database),
                flushed ? "" : " (not all written)");
    std::printf("longest tick handler:    records off %6lld us, on %6lld us (budget 100000 us)\n",
                micros(off.tick), micros(on.tick));
    std::printf("longest receive handler: records off %6lld us, on %6lld us\n", micros(off.receive),
                micros(on.receive));
    std::printf("commit latency over %zu records: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                latencies.size(), percentile(latencies, 0.5) / 1000.0, percentile(latencies, 0.99) / 1000.0,
                percentile(latencies, 1.0) / 1000.0);
    return 0;
}
