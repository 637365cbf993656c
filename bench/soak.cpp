// Soak: 1,000 controllers in a row on the real 100 ms timer, against a chain of virtual controllers that
// mix normal controllers with every failure mode and with noise. Each virtual controller serves one
// block of controllers and is then pulled; the next one is plugged in through the symbolic link that
// the port box names, so the run also goes through a lost and regained port at every block.
//
// Checks, block by block and in total: the log's "Finished" and each red message against the virtual
// controllers' own counts, every write of the tool against the handshake and the frame built at
// Start, every frame a controller stored against that frame, no bad frame and no message box. Prints
// the resident memory at controller 100 and at the last one, beside what the same log lines cost in
// a second log box. Exit status 1 on any mismatch.
//
// bench-soak [--controllers N] [--block N]: N controllers in all (1,000), N for each virtual
// controller (25). A controller answering at once takes about 300 ms, one that fails silently up
// to 1.4 s. Run it with QT_QPA_PLATFORM=offscreen where there is no display.

#include "LogWindow.h"
#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/FrameHex.h"
#include "params/ParameterTable.h"
#include "platform/core/ExitStatus.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"
#include "platform/widgets/RichTextBox.h"
#include "support/FakeWindow.h"
#include "support/Recorders.h"
#include "support/SimProcess.h"
#include "ui/StatusLogBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

using namespace qt2xx;

using namespace qt2xx::bench;

namespace {

constexpr int kDefaultControllers = 1000;
constexpr int kDefaultBlock = 25;
constexpr int kFirstMemoryProbe = 100;
constexpr int kProgressEvery = 100;
// The slowest controller takes 1.4 s; a run without any outcome for this long has hung.
constexpr std::chrono::seconds kStallTime{10};

const QByteArray kHandshake(kHandshakeRequest);

// A failure mode of the virtual controller and the red message the tool must log for it.
struct FailureMode {
    QString mode;
    QString message;
};

const QList<FailureMode> kFailureModes{
    {QStringLiteral("reject-frame"), kTransmitFailureMessage},
    {QStringLiteral("reject-store"), kStorageFailureMessage},
    {QStringLiteral("silent-after-frame"), kNoResponseMessage},
    {QStringLiteral("silent-after-accept"), kNoStorageResponseMessage},
    {QStringLiteral("one-chunk"), kNoStorageResponseMessage},
};

// The virtual controllers in the order they are plugged in, again and again: every failure mode on
// every third controller, with and without noise between controllers.
QList<QStringList> simArguments() {
    const QString noise = QStringLiteral("--noise");
    QList<QStringList> chain{{}, {noise}};
    for (const FailureMode& failure : kFailureModes) {
        const QStringList mode{QStringLiteral("--") + failure.mode, QStringLiteral("--fail-every"),
                               QStringLiteral("3")};
        chain.append(mode);
        chain.append(QStringList{noise} + mode);
    }
    return chain;
}

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

// Counts by text; the message tallies of the log and of the virtual controllers alike.
using Tally = QHash<QString, int>;

Tally difference(const Tally& later, const Tally& earlier) {
    Tally out = later;
    for (auto it = earlier.begin(); it != earlier.end(); ++it)
        out[it.key()] -= it.value();
    return out;
}

// The frames a virtual controller refused or let fail, from its counts.
int failedIn(const Tally& simCounts) {
    int sum = simCounts.value(QStringLiteral("bad frame"));
    for (const FailureMode& failure : kFailureModes)
        sum += simCounts.value(failure.mode);
    return sum;
}

// What one virtual controller reported about itself: "programmed" and each failure mode, "bad frame",
// "wrong frame" for a programmed frame that is not the one built at Start, and its own summary.
struct SimReport {
    Tally counts;
    int summaryProgrammed = -1;
    int summaryFailed = -1;
};

class Sim {
public:
    explicit Sim(const QStringList& arguments) : m_arguments(arguments), m_process(arguments) {}

    QString device() const { return m_process.device(); }
    QString name() const { return m_arguments.isEmpty() ? QStringLiteral("normal") : m_arguments.join(' '); }

    // Ends the process as SIGTERM does and reads everything it printed.
    SimReport finish(const QByteArray& frameHex) {
        m_process.terminate();
        SimReport report;
        for (const QString& line : m_process.lines())
            take(line.toLatin1(), frameHex, report);
        return report;
    }

private:
    static void take(const QByteArray& line, const QByteArray& frameHex, SimReport& report) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray head = line.left(colon);
        const QByteArray rest = line.mid(colon + 1).trimmed();
        if (head.startsWith("programmed ")) {
            report.counts[QStringLiteral("programmed")] += 1;
            if (rest != frameHex)
                report.counts[QStringLiteral("wrong frame")] += 1;
        } else if (head.startsWith("failed ")) {
            report.counts[QString::fromLatin1(rest)] += 1;
        } else if (head == "bad frame") {
            report.counts[QStringLiteral("bad frame")] += 1;
        } else if (const std::optional<test::SimSummary> summary = test::ParseSummaryLine(line)) {
            report.summaryProgrammed = summary->programmed;
            report.summaryFailed = summary->failed;
        }
    }

    QStringList m_arguments;
    test::SimProcess m_process;
};

// The serial port, with every write checked against the handshake and the frame built at Start.
class CheckingPort : public SerialPort {
public:
    bool outputBytes(QByteArrayView bytes) override {
        if (bytes == kHandshake)
            ++handshakes;
        else if (bytes == frame)
            ++frames;
        else
            ++strayWrites;
        return SerialPort::outputBytes(bytes);
    }

    QByteArray frame;
    int handshakes = 0;
    int frames = 0;
    int strayWrites = 0;
};

struct MemoryProbe {
    int controller = 0;
    long residentKiB = 0;
    int logLength = 0;
    Tally logCounts;
};

class Soak {
public:
    Soak(int controllers, int block);

    // Runs the whole soak; false on any mismatch.
    bool run();

private:
    void onOutcome();
    bool plugNextSim();
    void stalled();
    void pullSim();
    void finishRun();
    MemoryProbe probe() const;
    void checkBlock(const SimReport& report, const Tally& hostBlock);
    void mismatch(const QString& what, int host, int sim);
    int judged() const;
    void checkTotals();
    void printTotals() const;
    void replay(StatusLog& log, Tally lines) const;
    long logCostKiB() const;
    void printMemory() const;

    int m_controllers;
    int m_block;
    QList<QStringList> m_chain = simArguments();
    LogWindow m_logWindow;
    CheckingPort m_port;
    StatusLogBox m_shownLog{*m_logWindow.box};
    test::FakeWindow m_window{Qt::PreciseTimer};
    test::CountingLog m_log{&m_shownLog};
    test::RecordingMessageBox m_boxes;
    ParameterValues m_values;
    DownloadFrame m_frame{};
    DownloadSequencer m_sequencer{m_port, m_window, m_log, m_boxes, m_values, m_frame};
    QTemporaryDir m_folder;
    QString m_link = m_folder.filePath(QStringLiteral("adapter"));
    std::unique_ptr<Sim> m_sim;
    int m_simsPlugged = 0;
    int m_done = 0;
    Tally m_hostAtBlockStart;
    Tally m_simTotals;
    int m_mismatches = 0;
    QElapsedTimer m_clock;
    QTimer m_watchdog;
    MemoryProbe m_first;
    MemoryProbe m_last;
};

Soak::Soak(int controllers, int block) : m_controllers(controllers), m_block(block) {
    m_window.portBox = m_link;
    m_window.liveTimer = true;
    QObject::connect(&m_window.timer, &QTimer::timeout, &m_window.timer,
                     [this] { m_sequencer.Timer1_Timer(); });
    m_log.onMessage = [this](const QString& strAdd, LogColor intColor) {
        if (strAdd == kFinishedMessage || (intColor == kLogRed && strAdd != kCommLostMessage))
            onOutcome();
    };
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(kStallTime);
    QObject::connect(&m_watchdog, &QTimer::timeout, &m_watchdog, [this] { stalled(); });
}

bool Soak::run() {
    if (!plugNextSim())
        return false;
    m_clock.start();
    m_sequencer.cmdFileSend_Click();
    m_port.frame = QByteArray(reinterpret_cast<const char*>(m_frame.data()), kFrameSize);
    m_watchdog.start();
    QCoreApplication::exec();
    checkTotals();
    printTotals();
    printMemory();
    std::printf("result: %s\n", m_mismatches == 0 ? "no mismatch" : "MISMATCH");
    return m_mismatches == 0;
}

// Called from inside the tick or receive handler that logged the outcome, so nothing else happens
// on the line before the virtual controller is swapped.
void Soak::onOutcome() {
    ++m_done;
    m_watchdog.start();
    if (m_done == kFirstMemoryProbe)
        m_first = probe();
    if (m_done % kProgressEvery == 0)
        std::printf("controller %d: %.1f s, VmRSS %ld KiB\n", m_done, m_clock.elapsed() / 1000.0,
                    residentKiB());
    if (m_done == m_controllers) {
        m_last = probe();
        QTimer::singleShot(0, &m_window.timer, [this] { finishRun(); });
    } else if (m_done % m_block == 0) {
        pullSim();
        if (!plugNextSim())
            QCoreApplication::exit(qt2xx::ExitFailed);
    }
}

bool Soak::plugNextSim() {
    m_sim = std::make_unique<Sim>(m_chain[m_simsPlugged % m_chain.size()]);
    ++m_simsPlugged;
    m_hostAtBlockStart = m_log.counts;
    QFile::remove(m_link);
    if (!m_sim->device().isEmpty() && QFile::link(m_sim->device(), m_link))
        return true;
    std::printf("the virtual controller did not start\n");
    ++m_mismatches;
    return false;
}

void Soak::stalled() {
    std::printf("stalled: no outcome for %lld s after controller %d\n", qint64(kStallTime.count()), m_done);
    ++m_mismatches;
    m_sequencer.cmdFileSend_Click();
    pullSim();
    QCoreApplication::exit(qt2xx::ExitFailed);
}

void Soak::pullSim() {
    const SimReport report = m_sim->finish(qt2xx::FrameHex(m_port.frame, ' ').toLatin1());
    checkBlock(report, difference(m_log.counts, m_hostAtBlockStart));
    for (auto it = report.counts.begin(); it != report.counts.end(); ++it)
        m_simTotals[it.key()] += it.value();
    m_sim.reset();
    QFile::remove(m_link);
}

void Soak::finishRun() {
    m_watchdog.stop();
    m_sequencer.cmdFileSend_Click();
    pullSim();
    QCoreApplication::exit(qt2xx::ExitOk);
}

MemoryProbe Soak::probe() const {
    return {m_done, residentKiB(), m_logWindow.box->textLength(), m_log.counts};
}

void Soak::checkBlock(const SimReport& report, const Tally& hostBlock) {
    const QString sim = m_sim->name();
    Tally expected;
    expected[kFinishedMessage] = report.counts.value(QStringLiteral("programmed"));
    for (const FailureMode& failure : kFailureModes)
        expected[failure.message] += report.counts.value(failure.mode);
    for (auto it = expected.begin(); it != expected.end(); ++it)
        mismatch(sim + QStringLiteral(": ") + it.key(), hostBlock.value(it.key()), it.value());
    mismatch(sim + QStringLiteral(": bad frames"), 0, report.counts.value(QStringLiteral("bad frame")));
    mismatch(sim + QStringLiteral(": stored frames unlike the one built at Start"), 0,
             report.counts.value(QStringLiteral("wrong frame")));
    mismatch(sim + QStringLiteral(": summary, programmed"), report.summaryProgrammed,
             report.counts.value(QStringLiteral("programmed")));
    mismatch(sim + QStringLiteral(": summary, failed"), report.summaryFailed, failedIn(report.counts));
}

void Soak::mismatch(const QString& what, int host, int sim) {
    if (host == sim)
        return;
    ++m_mismatches;
    std::printf("mismatch after controller %d, %s: tool %d, virtual controller %d\n", m_done,
                qPrintable(what), host, sim);
}

int Soak::judged() const {
    return m_simTotals.value(QStringLiteral("programmed")) + failedIn(m_simTotals);
}

void Soak::checkTotals() {
    const int pulled = m_simsPlugged - 1;
    mismatch(QStringLiteral("total, Finished"), m_log.counts.value(kFinishedMessage),
             m_simTotals.value(QStringLiteral("programmed")));
    mismatch(QStringLiteral("total, lost ports"), m_log.counts.value(kCommLostMessage), pulled);
    mismatch(QStringLiteral("total, regained ports"), m_log.counts.value(kCommBackMessage), pulled);
    mismatch(QStringLiteral("total, frames"), m_port.frames, judged());
    mismatch(QStringLiteral("total, writes other than the handshake and the frame"), m_port.strayWrites, 0);
    mismatch(QStringLiteral("total, message boxes"), int(m_boxes.shown.size()), 0);
}

void Soak::printTotals() const {
    const double seconds = m_clock.elapsed() / 1000.0;
    std::printf("\n%d controllers in %.1f s (%.3f s each), %d virtual controllers, %d pulled\n", m_done,
                seconds, seconds / m_done, m_simsPlugged, m_simsPlugged - 1);
    std::printf("  %-22s %6s   %-20s %6s\n", "tool's log", "", "virtual controllers", "");
    std::printf("  %-22s %6d   %-20s %6d\n", qPrintable(kFinishedMessage),
                m_log.counts.value(kFinishedMessage), "programmed",
                m_simTotals.value(QStringLiteral("programmed")));
    for (const FailureMode& failure : kFailureModes)
        std::printf("  %-22s %6d   %-20s %6d\n", qPrintable(failure.message),
                    m_log.counts.value(failure.message), qPrintable(failure.mode),
                    m_simTotals.value(failure.mode));
    std::printf("  (two modes end in \"No Storage responce\": its count is theirs together)\n");
    std::printf("  %-22s %6d   %-20s %6d\n", qPrintable(kCommLostMessage),
                m_log.counts.value(kCommLostMessage), "pulled", m_simsPlugged - 1);
    std::printf("  %-22s %6d\n", qPrintable(kCommBackMessage), m_log.counts.value(kCommBackMessage));
    std::printf(
        "  frames written %d, judged by the controllers %d, bad %d, stored unlike the Start frame %d\n",
        m_port.frames, judged(), m_simTotals.value(QStringLiteral("bad frame")),
        m_simTotals.value(QStringLiteral("wrong frame")));
    std::printf("  handshakes written %d, other writes %d, message boxes %d\n", m_port.handshakes,
                m_port.strayWrites, int(m_boxes.shown.size()));
}

// Feeds the counted lines into the log, one of each text in turn.
void Soak::replay(StatusLog& log, Tally lines) const {
    for (bool any = true; any;) {
        any = false;
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it.value() <= 0)
                continue;
            log.ReceiveDisplay(it.key(), m_log.colors.value(it.key()));
            --it.value();
            any = true;
        }
        QCoreApplication::processEvents();
    }
}

// What the log text alone costs: a fresh log box is given the lines of the run up to the first
// probe, then the growth is measured over the lines between the probes.
long Soak::logCostKiB() const {
    LogWindow window;
    StatusLogBox log(*window.box);
    replay(log, m_first.logCounts);
    const long before = residentKiB();
    replay(log, difference(m_last.logCounts, m_first.logCounts));
    return residentKiB() - before;
}

void Soak::printMemory() const {
    if (m_first.controller == 0)
        return;
    const Tally lines = difference(m_last.logCounts, m_first.logCounts);
    int lineCount = 0;
    for (int count : lines)
        lineCount += count;
    const int characters = m_last.logLength - m_first.logLength;
    std::printf("\nVmRSS at controller %d: %ld KiB, at controller %d: %ld KiB, growth %ld KiB\n",
                m_first.controller, m_first.residentKiB, m_last.controller, m_last.residentKiB,
                m_last.residentKiB - m_first.residentKiB);
    std::printf("log between them: %d lines, %d characters (%.1f KiB as UTF-16)\n", lineCount, characters,
                characters * 2 / 1024.0);
    std::printf("the same lines in a second log box, after the lines before controller %d: %ld KiB\n",
                m_first.controller, logCostKiB());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows as it comes, even into a file
    int controllers = kDefaultControllers;
    int block = kDefaultBlock;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--controllers"))
            controllers = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--block"))
            block = arguments[i + 1].toInt();
    }
    if (controllers < 1 || block < 1) {
        std::fprintf(stderr, "usage: bench-soak [--controllers N] [--block N]\n");
        return qt2xx::ExitRefused;
    }
    Soak soak(controllers, block);
    return soak.run() ? qt2xx::ExitOk : qt2xx::ExitFailed;
}
