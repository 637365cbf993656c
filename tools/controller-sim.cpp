// qt2xx-controller-sim: plays a controller on a pseudo-terminal, so that the tool can be tried and
// tested without hardware. The first line on stdout is the device path to type into the port box.
#include "params/FrameEncoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace qt2xx;
using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

constexpr char kHandshake = '8';
constexpr char kReady = 'U';
constexpr char kAccepted = 'Q';
constexpr char kStored = 'R';
constexpr char kRefused = 'X';
constexpr char kFrameLead[] = {0x02, 0x0F};

// A frame that stops coming for this long is judged as it stands; the host has given up by then.
constexpr Milliseconds kFrameTimeout = 1s;
// Storing takes a controller a moment. It also keeps "Q" and "R" in separate chunks on the host side.
constexpr Milliseconds kStoreTime = 20ms;
// While the host has not yet read an answer, the input queue is looked at this often, at most this long.
constexpr Milliseconds kDrainPoll = 2ms;
constexpr Milliseconds kDrainLimit = 1s;
// Stray bytes while seeking: a few per second, at random moments.
constexpr int kNoiseMinMs = 150;
constexpr int kNoiseMaxMs = 600;
// A byte written to the master reaches the host's input queue a moment later; until then the queue
// looks drained. Before exiting, the sim lets the last answer settle for this long.
constexpr Milliseconds kExitSettle = 100ms;
// A master that reports an error is looked at again after this pause, never in a busy loop.
constexpr Milliseconds kRetryPause = 50ms;

constexpr const char* kUsage =
    "usage: qt2xx-controller-sim [--count N] [--answer-delay MS] [--noise]\n"
    "                            [FAILURE [--fail-every K]]\n"
    "\n"
    "Plays a motor controller on a pseudo-terminal. The first line on stdout is the device path:\n"
    "type it into the tool's port box and press Start Transmit. Every \"8\" is answered with \"U\";\n"
    "the next 32 bytes are the frame, which must start with 02 0F and have an XOR of 0 over all\n"
    "32 bytes. A good frame is answered with \"Q\" and then \"R\" (at least 20 ms later, once the host\n"
    "has read the \"Q\"). Then the next \"8\" is the next controller.\n"
    "\n"
    "Lines on stdout, flushed at once:\n"
    "  programmed <n>: <32 hex pairs>   the n-th controller stored this frame\n"
    "  failed <n>: <mode>               the n-th failure, played by the failure mode\n"
    "  bad frame: <hex pairs>           a frame that fails the check, or stops coming for 1 s;\n"
    "                                   answered with \"X\" and counted as a failure\n"
    "  summary: programmed=P failed=F   on SIGTERM, SIGINT or when --count is reached\n"
    "\n"
    "Options:\n"
    "  --count N             exit 0 after N controllers programmed (0, the default: run until stopped)\n"
    "  --answer-delay MS     wait MS milliseconds before each \"U\", \"Q\" and \"R\" (default 0)\n"
    "  --noise               stray bytes other than \"U\" while the host seeks, a few per second\n"
    "  --fail-every K        apply the failure mode to every K-th controller only (default: to all)\n"
    "  --help                show this text\n"
    "FAILURE is one of:\n"
    "  --reject-frame        answer the frame with \"X\" instead of \"Q\"\n"
    "  --reject-store        answer \"Q\", then \"X\" instead of \"R\"\n"
    "  --silent-after-frame  never answer the frame\n"
    "  --silent-after-accept answer \"Q\", never \"R\"\n"
    "  --one-chunk           answer \"Q\" and \"R\" in one write\n";

enum class Failure { None, RejectFrame, RejectStore, SilentAfterFrame, SilentAfterAccept, OneChunk };

struct FailureFlag {
    const char* name;
    Failure failure;
};

constexpr std::array kFailureFlags{
    FailureFlag{"reject-frame", Failure::RejectFrame},
    FailureFlag{"reject-store", Failure::RejectStore},
    FailureFlag{"silent-after-frame", Failure::SilentAfterFrame},
    FailureFlag{"silent-after-accept", Failure::SilentAfterAccept},
    FailureFlag{"one-chunk", Failure::OneChunk},
};

const char* failureName(Failure failure) {
    for (const FailureFlag& flag : kFailureFlags) {
        if (flag.failure == failure)
            return flag.name;
    }
    return "none";
}

std::optional<Failure> failureOfOption(const QByteArray& arg) {
    for (const FailureFlag& flag : kFailureFlags) {
        if (arg == QByteArray("--") + flag.name)
            return flag.failure;
    }
    return std::nullopt;
}

struct Options {
    int count = 0;
    Milliseconds answerDelay{0};
    Failure failure = Failure::None;
    int failEvery = 0; // 0: the failure mode applies to every controller
    bool noise = false;
};

enum class ParseOutcome { Run, Help, Misuse };

std::optional<int> nonNegativeNumber(const char* text) {
    bool ok = false;
    const int value = QByteArray(text).toInt(&ok);
    return ok && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

bool takeNumber(const QByteArray& arg, const char* value, Options& options) {
    const std::optional<int> number = value ? nonNegativeNumber(value) : std::nullopt;
    if (!number)
        return false;
    if (arg == "--count")
        options.count = *number;
    else if (arg == "--answer-delay")
        options.answerDelay = Milliseconds(*number);
    else
        options.failEvery = *number;
    return arg != "--fail-every" || *number > 0;
}

ParseOutcome parseOptions(int argc, char* argv[], Options& options) {
    bool failEveryGiven = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h")
            return ParseOutcome::Help;
        if (arg == "--noise") {
            options.noise = true;
        } else if (const std::optional<Failure> failure = failureOfOption(arg)) {
            if (options.failure != Failure::None)
                return ParseOutcome::Misuse; // one failure mode at a time
            options.failure = *failure;
        } else if (arg == "--count" || arg == "--answer-delay" || arg == "--fail-every") {
            failEveryGiven = failEveryGiven || arg == "--fail-every";
            if (!takeNumber(arg, i + 1 < argc ? argv[++i] : nullptr, options))
                return ParseOutcome::Misuse;
        } else {
            return ParseOutcome::Misuse;
        }
    }
    if (failEveryGiven && options.failure == Failure::None)
        return ParseOutcome::Misuse;
    return ParseOutcome::Run;
}

void printLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QByteArray hexPairs(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}

bool frameIsSound(const QByteArray& frame) {
    if (frame.size() != kFrameSize || !frame.startsWith(QByteArray(kFrameLead, sizeof kFrameLead)))
        return false;
    char sum = 0;
    for (char byte : frame)
        sum ^= byte;
    return sum == 0;
}

struct Pty {
    int master = -1;
    int slave = -1;
    QByteArray path;
};

// Raw both ways: no echo, no CR/LF translation, every byte value crosses unchanged.
std::optional<Pty> openRawPty() {
    termios settings{};
    cfmakeraw(&settings);
    settings.c_cflag |= CREAD | CLOCAL;
    cfsetspeed(&settings, B9600);
    Pty pty;
    if (openpty(&pty.master, &pty.slave, nullptr, &settings, nullptr) != 0)
        return std::nullopt;
    char path[128] = {};
    if (ttyname_r(pty.slave, path, sizeof path) != 0) {
        ::close(pty.master);
        ::close(pty.slave);
        return std::nullopt;
    }
    pty.path = path;
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    ::fcntl(pty.master, F_SETFD, FD_CLOEXEC);
    ::fcntl(pty.slave, F_SETFD, FD_CLOEXEC);
    return pty;
}

// SIGTERM and SIGINT arrive as readable data, so they are handled in the event loop like the port.
int terminationSignalFd() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        return -1;
    return signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

// The controller side of the download protocol. It keeps its own descriptor of the slave open, so
// the master never reports a hang-up when the host closes the port, which the host does all the
// time while seeking.
class ControllerSim : public QObject {
public:
    ControllerSim(const Options& options, const Pty& pty, int signalFd);
    ~ControllerSim() override;

private:
    enum class Phase { Seeking, Receiving, Done };

    void onReadable();
    void onTerminationSignal();
    void take(char byte);
    void answerHandshake();
    void judgeFrame(const QByteArray& frame);
    void giveUpFrame();
    void reply(QByteArray first, QByteArray second, std::function<void()> outcome);
    void afterHostRead(Milliseconds atLeast, std::function<void()> then);
    void send(const QByteArray& bytes);
    void reportProgrammed(const QByteArray& frame);
    void reportFailed(Failure failure);
    void finish();
    void printSummary() const;
    void scheduleNoise();
    void sendNoise();
    Failure failureFor(int controller) const;
    int unreadByHost() const;

    Options m_options;
    int m_masterFd;
    int m_slaveFd;
    int m_signalFd;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_signalNotifier;
    QTimer m_frameTimer;
    QTimer m_noiseTimer;
    Phase m_phase = Phase::Seeking;
    QByteArray m_frame;
    int m_framesTaken = 0;
    int m_programmed = 0;
    int m_failed = 0;
    int m_pendingReplies = 0;
    // A host left without its answer goes on waiting for it until its timeout, and would take a stray
    // byte for the answer. The noise holds off until the host asks for the next controller.
    bool m_hostWaiting = false;
};

ControllerSim::ControllerSim(const Options& options, const Pty& pty, int signalFd)
    : m_options(options), m_masterFd(pty.master), m_slaveFd(pty.slave), m_signalFd(signalFd),
      m_readNotifier(pty.master, QSocketNotifier::Read), m_signalNotifier(signalFd, QSocketNotifier::Read) {
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &ControllerSim::onReadable);
    connect(&m_signalNotifier, &QSocketNotifier::activated, this, &ControllerSim::onTerminationSignal);
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(kFrameTimeout);
    connect(&m_frameTimer, &QTimer::timeout, this, &ControllerSim::giveUpFrame);
    m_noiseTimer.setSingleShot(true);
    connect(&m_noiseTimer, &QTimer::timeout, this, &ControllerSim::sendNoise);
    if (m_options.noise)
        scheduleNoise();
}

ControllerSim::~ControllerSim() {
    ::close(m_masterFd);
    ::close(m_slaveFd);
    ::close(m_signalFd);
}

void ControllerSim::onReadable() {
    char buffer[256];
    const ssize_t count = ::read(m_masterFd, buffer, sizeof buffer);
    if (count > 0) {
        for (ssize_t i = 0; i < count; ++i)
            take(buffer[i]);
        return;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // No slave open (EIO): cannot happen while the sim holds one, but it must not spin if it does.
    m_readNotifier.setEnabled(false);
    QTimer::singleShot(kRetryPause, this, [this] { m_readNotifier.setEnabled(true); });
}

void ControllerSim::onTerminationSignal() {
    signalfd_siginfo info;
    while (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    printSummary();
    QCoreApplication::exit(0);
}

void ControllerSim::take(char byte) {
    switch (m_phase) {
    case Phase::Seeking:
        if (byte == kHandshake) {
            m_hostWaiting = false;
            m_phase = Phase::Receiving;
            answerHandshake();
        }
        break;
    case Phase::Receiving:
        // A host that got no "U" yet keeps asking. A request is answered only when no "U" is still on
        // its way: a second "U" would reach the host after its frame and fail the exchange.
        if (m_frame.isEmpty() && byte == kHandshake) {
            if (m_pendingReplies == 0)
                answerHandshake();
            break;
        }
        m_frame.append(byte);
        m_frameTimer.start();
        if (m_frame.size() == kFrameSize) {
            m_frameTimer.stop();
            m_phase = Phase::Seeking;
            judgeFrame(std::exchange(m_frame, {}));
        }
        break;
    case Phase::Done:
        break;
    }
}

void ControllerSim::answerHandshake() {
    reply(QByteArray(1, kReady), {}, [this] {
        if (m_phase == Phase::Receiving && m_frame.isEmpty())
            m_frameTimer.start();
    });
}

void ControllerSim::giveUpFrame() {
    m_phase = Phase::Seeking;
    if (m_frame.isEmpty())
        return;
    printLine("bad frame: " + hexPairs(std::exchange(m_frame, {})));
    ++m_failed;
    reply(QByteArray(1, kRefused), {}, [] {});
}

void ControllerSim::judgeFrame(const QByteArray& frame) {
    if (!frameIsSound(frame)) {
        printLine("bad frame: " + hexPairs(frame));
        ++m_failed;
        reply(QByteArray(1, kRefused), {}, [] {});
        return;
    }
    const Failure failure = failureFor(++m_framesTaken);
    m_hostWaiting = failure == Failure::SilentAfterFrame || failure == Failure::SilentAfterAccept ||
                    failure == Failure::OneChunk;
    const auto failed = [this, failure] { reportFailed(failure); };
    const QByteArray accepted(1, kAccepted);
    switch (failure) {
    case Failure::None:
        reply(accepted, QByteArray(1, kStored), [this, frame] { reportProgrammed(frame); });
        break;
    case Failure::RejectFrame:
        reply(QByteArray(1, kRefused), {}, failed);
        break;
    case Failure::RejectStore:
        reply(accepted, QByteArray(1, kRefused), failed);
        break;
    case Failure::SilentAfterFrame:
        reply({}, {}, failed);
        break;
    case Failure::SilentAfterAccept:
        reply(accepted, {}, failed);
        break;
    case Failure::OneChunk:
        reply(accepted + kStored, {}, failed);
        break;
    }
}

// Sends first after the answer delay and second after the storage time as well, once the host has
// read first; then reports the outcome. An empty part is not sent.
void ControllerSim::reply(QByteArray first, QByteArray second, std::function<void()> outcome) {
    ++m_pendingReplies;
    const auto done = [this, outcome] {
        --m_pendingReplies;
        if (m_phase != Phase::Done)
            outcome();
    };
    QTimer::singleShot(m_options.answerDelay, this, [this, first, second, done] {
        if (m_phase == Phase::Done)
            return;
        send(first);
        if (second.isEmpty()) {
            done();
            return;
        }
        afterHostRead(std::max(m_options.answerDelay, kStoreTime), [this, second, done] {
            if (m_phase != Phase::Done)
                send(second);
            done();
        });
    });
}

// Runs then once the host has read what was sent, waiting at least atLeast and at most kDrainLimit
// more: a host that closed the port does not read.
void ControllerSim::afterHostRead(Milliseconds atLeast, std::function<void()> then) {
    auto* poll = new QTimer(this);
    QElapsedTimer waited;
    waited.start();
    connect(poll, &QTimer::timeout, this, [this, poll, waited, atLeast, then] {
        const Milliseconds elapsed(waited.elapsed());
        if (elapsed < atLeast || (unreadByHost() > 0 && elapsed < atLeast + kDrainLimit))
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start(kDrainPoll);
}

int ControllerSim::unreadByHost() const {
    int count = 0;
    return ::ioctl(m_slaveFd, TIOCINQ, &count) == 0 ? count : 0;
}

void ControllerSim::send(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    // The master is non-blocking: with nobody reading for a long time, stray bytes are dropped.
    if (::write(m_masterFd, bytes.constData(), static_cast<std::size_t>(bytes.size())) < 0)
        std::fprintf(stderr, "qt2xx-controller-sim: write failed: %s\n", std::strerror(errno));
}

void ControllerSim::reportProgrammed(const QByteArray& frame) {
    ++m_programmed;
    printLine("programmed " + QByteArray::number(m_programmed) + ": " + hexPairs(frame));
    if (m_options.count > 0 && m_programmed >= m_options.count)
        finish();
}

void ControllerSim::reportFailed(Failure failure) {
    ++m_failed;
    printLine("failed " + QByteArray::number(m_failed) + ": " + failureName(failure));
}

// The last "R" must reach the host before the master closes and hangs up the slave.
void ControllerSim::finish() {
    printSummary();
    m_phase = Phase::Done;
    m_noiseTimer.stop();
    afterHostRead(kExitSettle, [] { QCoreApplication::exit(0); });
}

void ControllerSim::printSummary() const {
    printLine("summary: programmed=" + QByteArray::number(m_programmed) +
              " failed=" + QByteArray::number(m_failed));
}

void ControllerSim::scheduleNoise() {
    m_noiseTimer.start(QRandomGenerator::global()->bounded(kNoiseMinMs, kNoiseMaxMs + 1));
}

void ControllerSim::sendNoise() {
    if (m_phase == Phase::Done)
        return;
    if (m_phase == Phase::Seeking && m_pendingReplies == 0 && !m_hostWaiting) {
        char byte = kReady;
        while (byte == kReady)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        send(QByteArray(1, byte));
    }
    scheduleNoise();
}

Failure ControllerSim::failureFor(int controller) const {
    if (m_options.failEvery > 0 && controller % m_options.failEvery != 0)
        return Failure::None;
    return m_options.failure;
}

} // namespace

int main(int argc, char* argv[]) {
    Options options;
    switch (parseOptions(argc, argv, options)) {
    case ParseOutcome::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case ParseOutcome::Misuse:
        std::fputs(kUsage, stderr);
        return 2;
    case ParseOutcome::Run:
        break;
    }
    // Blocked before anything can start a thread, so that no thread takes the signals instead.
    const int signalFd = terminationSignalFd();
    if (signalFd < 0) {
        std::fprintf(stderr, "qt2xx-controller-sim: cannot catch signals: %s\n", std::strerror(errno));
        return 1;
    }
    QCoreApplication app(argc, argv);
    const std::optional<Pty> pty = openRawPty();
    if (!pty) {
        std::fprintf(stderr, "qt2xx-controller-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    ControllerSim sim(options, *pty, signalFd);
    printLine(pty->path);
    return app.exec();
}
