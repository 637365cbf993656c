#include "station/ScanInput.h"

#include <cerrno>

#include <unistd.h>

namespace qt2xx::station {

using namespace qt2xx;

ScanInput::ScanInput(OrderRun& run, int fd) : m_run(run), m_fd(fd), m_notifier(fd, QSocketNotifier::Read) {
    m_notifier.setEnabled(false);
    connect(&m_notifier, &QSocketNotifier::activated, this, &ScanInput::readSome);
    connect(&run, &OrderRun::changed, this, &ScanInput::pump);
}

// Lines already read go first; the descriptor is watched only while the run wants more.
void ScanInput::pump() {
    while (m_run.wantsInput()) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0 && !(m_ended && !m_buffer.isEmpty()))
            break;
        const QByteArray line = end < 0 ? std::exchange(m_buffer, {}) : m_buffer.left(end);
        if (end >= 0)
            m_buffer.remove(0, end + 1);
        const ScanArbiter::Scan scan = m_run.scan(QString::fromUtf8(line));
        if (scan.outcome == ScanArbiter::Outcome::Refused && onRefused)
            onRefused(scan);
    }
    if (m_ended && m_buffer.isEmpty())
        m_run.endOfInput();
    m_notifier.setEnabled(!m_ended && m_run.wantsInput() && !m_buffer.contains('\n'));
}

void ScanInput::readSome() {
    char chunk[4096];
    const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
    if (got > 0)
        m_buffer.append(chunk, got);
    else if (got == 0 || (errno != EINTR && errno != EAGAIN))
        m_ended = true;
    pump();
}

} // namespace qt2xx::station
