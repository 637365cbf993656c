// qt2xx-controller-sim: plays a controller on a pseudo-terminal, so that the tool can be tried and
// tested without hardware. The first line on stdout is the device path to type into the port box.
#include "sim/ControllerSim.h"
#include "sim/SimOptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace qt2xx::sim;
using namespace std::chrono_literals;

// A master that reports an error is looked at again after this pause, never in a busy loop.
constexpr std::chrono::milliseconds kRetryPause = 50ms;

void printLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct PtyEnds {
    int master = -1;
    int slave = -1;
    QByteArray path;
};

// Raw both ways: no echo, no CR/LF translation, every byte value crosses unchanged.
std::optional<PtyEnds> openRawPty() {
    termios settings{};
    cfmakeraw(&settings);
    settings.c_cflag |= CREAD | CLOCAL;
    cfsetspeed(&settings, B9600);
    PtyEnds pty;
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

// The pseudo-terminal's master as the controller's line. It keeps its own descriptor of the slave
// open, so the master never reports a hang-up when the host closes the port, which the host does all
// the time while seeking.
class PtyLine : public QObject, public SimLine {
public:
    PtyLine(const PtyEnds& pty, int signalFd, const Options& options)
        : m_masterFd(pty.master), m_slaveFd(pty.slave), m_signalFd(signalFd),
          m_readNotifier(pty.master, QSocketNotifier::Read),
          m_signalNotifier(signalFd, QSocketNotifier::Read), m_sim(options, *this, printLine) {
        connect(&m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::onReadable);
        connect(&m_signalNotifier, &QSocketNotifier::activated, this, &PtyLine::onTerminationSignal);
        m_sim.onFinished = [] { QCoreApplication::exit(0); };
    }
    ~PtyLine() override {
        ::close(m_masterFd);
        ::close(m_slaveFd);
        ::close(m_signalFd);
    }

    // The master is non-blocking: with nobody reading for a long time, stray bytes are dropped.
    void write(const QByteArray& bytes) override {
        if (::write(m_masterFd, bytes.constData(), static_cast<std::size_t>(bytes.size())) < 0)
            std::fprintf(stderr, "qt2xx-controller-sim: write failed: %s\n", std::strerror(errno));
    }
    int unreadByHost() const override {
        int count = 0;
        return ::ioctl(m_slaveFd, TIOCINQ, &count) == 0 ? count : 0;
    }

private:
    void onReadable() {
        char buffer[256];
        const ssize_t count = ::read(m_masterFd, buffer, sizeof buffer);
        if (count > 0) {
            m_sim.receive(QByteArrayView(buffer, count));
            return;
        }
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // No slave open (EIO): cannot happen while the sim holds one, but it must not spin if it does.
        m_readNotifier.setEnabled(false);
        QTimer::singleShot(kRetryPause, this, [this] { m_readNotifier.setEnabled(true); });
    }

    void onTerminationSignal() {
        signalfd_siginfo info;
        while (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        m_sim.printSummary();
        QCoreApplication::exit(0);
    }

    int m_masterFd;
    int m_slaveFd;
    int m_signalFd;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_signalNotifier;
    ControllerSim m_sim;
};

} // namespace

int main(int argc, char* argv[]) {
    Options options;
    switch (ParseOptions(argc, argv, options)) {
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
    const std::optional<PtyEnds> pty = openRawPty();
    if (!pty) {
        std::fprintf(stderr, "qt2xx-controller-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    PtyLine line(*pty, signalFd, options);
    printLine(pty->path);
    return app.exec();
}
