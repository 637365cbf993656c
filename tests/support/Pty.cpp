#include "support/Pty.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Eight bytes that no test sends in this order.
const QByteArray kMarker = QByteArrayLiteral("\xA5\x00\x5A\xFF\xC3\x3C\x00\x96");

bool writeAll(int fd, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

namespace qt2xx::test {

Pty::Pty() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

Pty::~Pty() {
    close();
}

void Pty::close() {
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

termios Pty::lineSettings() const {
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    return tio;
}

bool Pty::write(QByteArrayView bytes) {
    return m_master >= 0 && writeAll(m_master, bytes);
}

bool Pty::fill(int timeoutMs) {
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN))
        return false;
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_pending.append(buffer, n);
    return true;
}

QByteArray Pty::takeWritten(int timeoutMs) {
    if (m_slave < 0 || !writeAll(m_slave, kMarker))
        return {};
    QDeadlineTimer deadline(timeoutMs);
    qsizetype at = -1;
    while ((at = m_pending.indexOf(kMarker)) < 0) {
        if (deadline.hasExpired() || !fill(int(deadline.remainingTime())))
            return {};
    }
    const QByteArray written = m_pending.left(at);
    m_pending.remove(0, at + kMarker.size());
    return written;
}

QByteArray Pty::readAtLeast(qsizetype n, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_pending.size() < n && !deadline.hasExpired() && fill(int(deadline.remainingTime()))) {
    }
    const QByteArray read = m_pending;
    m_pending.clear();
    return read;
}

} // namespace qt2xx::test
