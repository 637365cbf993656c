// Programs controllers against the virtual controller with the production record off, then on, then
// on and forwarded to a PostgreSQL server that is stopped for 10 s in the middle of the run. Prints
// the longest tick and receive handler of each run, the longest gap between two ticks, and the
// commit latency of the records (median, 99th percentile, maximum). The database goes into the current folder
// unless a path is given, so that it sits on a real disk. Prints figures only; it never fails on time.
//
// usage: bench-record [CONTROLLERS] [DATABASE]

#include "LogWindow.h"
#include "Measure.h"
#include "forward/Forwarder.h"
#include "link/DownloadSequencer.h"
#include "platform/core/SerialPort.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "support/FakeWindow.h"
#include "support/PgCluster.h"
#include "support/Recorders.h"
#include "support/SimProcess.h"
#include "ui/StatusLogBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

using namespace qt2xx;
using namespace qt2xx::bench;

namespace {

constexpr int kDefaultControllers = 200;
constexpr std::chrono::seconds kOutageAfter{2};
constexpr std::chrono::seconds kOutage{10};

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
            if (sinceTick.isValid())
                gap.add(double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.start();
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
    QElapsedTimer sinceTick;
    Longest tick;
    Longest receive;
    Longest gap; // from one tick to the next
};

// The record of a run, written by its own writer into `database`.
struct Recorded {
    Recorded(Run& run, const QString& database)
        : writer(database),
          recorder(writer, RunSource{[&run] { return run.port.openedDevice(); },
                                     [&run]() -> const ParameterValues& { return run.values; },
                                     [&run]() -> const DownloadFrame& { return run.frame; },
                                     {}}) {
        run.sequencer.setObserver(&recorder);
    }
    RecordWriter writer;
    RunRecorder recorder;
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
    Recorded record(on, database);
    std::vector<qint64> latencies;
    QHash<quint64, qint64> submittedAt;
    QElapsedTimer clock;
    clock.start();
    record.recorder.submitted = [&](quint64 ticket, const ProductionRecord&) {
        submittedAt.insert(ticket, clock.nsecsElapsed());
    };
    QObject::connect(&record.writer, &RecordWriter::committed, &record.writer,
                     [&](quint64 ticket, const QString&) {
                         latencies.push_back(clock.nsecsElapsed() - submittedAt.value(ticket));
                     });
    programControllers(on, controllers);
    const bool flushed = record.writer.flush(std::chrono::seconds(30));
    QCoreApplication::processEvents();

    // The server is stopped and started on another thread, while this one programs.
    Run forwarded(device, *logWindow.box);
    test::PgCluster cluster;
    QString error;
    const QString forwardedDatabase = database + QStringLiteral(".forwarded");
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(forwardedDatabase + QLatin1String(suffix));
    std::optional<ServerAddress> server;
    if (cluster.isRunning() && cluster.createDatabase(QStringLiteral("plant"))) {
        const Result<ServerAddress> parsed = ServerAddress::parse(cluster.url(QStringLiteral("plant")));
        if (parsed)
            server = *parsed;
        else
            error = parsed.error();
    }
    bool outageDone = false;
    if (server) {
        Recorded forwardedRecord(forwarded, forwardedDatabase);
        Forwarder forwarder(forwardedDatabase, *server);
        QObject::connect(&forwardedRecord.writer, &RecordWriter::committed, &forwarder, &Forwarder::wake);
        forwarder.start();
        auto outage = std::async(std::launch::async, [&cluster] {
            std::this_thread::sleep_for(kOutageAfter);
            const bool down = cluster.stop();
            std::this_thread::sleep_for(kOutage);
            return down && cluster.start();
        });
        programControllers(forwarded, controllers);
        outageDone = outage.get();
        forwardedRecord.writer.flush(std::chrono::seconds(30));
        forwarded.sequencer.setObserver(nullptr);
    } else {
        std::fprintf(stderr, "bench-record: no server for the forwarded run: %s\n",
                     qPrintable(cluster.error().isEmpty() ? error : cluster.error()));
    }
    sim.terminate();

    std::printf("controllers per run: %d, database %s%s\n", controllers, qPrintable(database),
                flushed ? "" : " (not all written)");
    std::printf("longest tick handler:    records off %6lld us, on %6lld us (budget 100000 us)\n",
                micros(off.tick), micros(on.tick));
    std::printf("longest receive handler: records off %6lld us, on %6lld us\n", micros(off.receive),
                micros(on.receive));
    std::printf("longest gap between ticks: records off %.1f ms, on %.1f ms", off.gap.longest,
                on.gap.longest);
    if (server)
        std::printf(", forwarded through a %lld s outage%s %.1f ms (tick handler %lld us)",
                    qint64(kOutage.count()), outageDone ? "" : " (the server did not stop and start)",
                    forwarded.gap.longest, micros(forwarded.tick));
    std::printf(" (timer 100 ms)\n");
    std::printf("commit latency over %zu records: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                latencies.size(), percentile(latencies, 0.5) / 1000.0, percentile(latencies, 0.99) / 1000.0,
                percentile(latencies, 1.0) / 1000.0);
    return 0;
}
