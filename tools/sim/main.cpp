// qt2xx-controller-sim: plays a controller on a pseudo-terminal, so that the tool can be tried and
// tested without hardware. The first line on stdout is the device path to type into the port box.
#include "platform/core/ExitStatus.h"
#include "platform/core/StopSignals.h"
#include "sim/ControllerSim.h"
#include "sim/SimOptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
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

// The pseudo-terminal's master as the controller's line. It keeps its own descriptor of the slave
// open, so the master never reports a hang-up when the host closes the port, which the host does all
// the time while seeking.
class PtyLine : public QObject, public SimLine {
public:
    PtyLine(const PtyEnds& pty, const Options& options)
        : m_masterFd(pty.master), m_slaveFd(pty.slave), m_readNotifier(pty.master, QSocketNotifier::Read),
          m_sim(options, *this, printLine) {
        connect(&m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::onReadable);
        // SIGTERM and SIGINT are handled in the event loop like the port.
        connect(&m_stopSignals, &qt2xx::StopSignals::stopRequested, this, &PtyLine::onTerminationSignal);
        m_sim.onFinished = [] { QCoreApplication::exit(qt2xx::ExitOk); };
    }
    ~PtyLine() override {
        ::close(m_masterFd);
        ::close(m_slaveFd);
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
        m_sim.printSummary();
        QCoreApplication::exit(qt2xx::ExitOk);
    }

    int m_masterFd;
    int m_slaveFd;
    qt2xx::StopSignals m_stopSignals;
    QSocketNotifier m_readNotifier;
    ControllerSim m_sim;
};

} // namespace

int main(int argc, char* argv[]) {
    Options options;
    switch (ParseOptions(argc, argv, options)) {
    case ParseOutcome::Help:
        std::fputs(qPrintable(Usage()), stdout);
        return qt2xx::ExitOk;
    case ParseOutcome::Misuse:
        std::fputs(qPrintable(Usage()), stderr);
        return qt2xx::ExitRefused;
    case ParseOutcome::Run:
        break;
    }
    QCoreApplication app(argc, argv);
    const std::optional<PtyEnds> pty = openRawPty();
    if (!pty) {
        std::fprintf(stderr, "qt2xx-controller-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return qt2xx::ExitFailed;
    }
    PtyLine line(*pty, options);
    printLine(pty->path);
    return app.exec();
}
