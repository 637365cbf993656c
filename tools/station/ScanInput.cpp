#include "station/ScanInput.h"

#include "station/SerialText.h"

#include <algorithm>
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
        const bool cut = line.size() > kScanLineMaxBytes;
        const qsizetype lineBytes = cut ? m_cutLengths.front() : -1;
        if (cut)
            m_cutLengths.pop_front();
        const ScanArbiter::Scan scan =
            m_run.scanBytes(QByteArrayView(line).first(std::min(line.size(), kScanLineMaxBytes)), lineBytes);
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
        append(QByteArrayView(chunk, got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN))
        m_ended = true;
    pump();
}

// Keeps at most kScanLineMaxBytes + 1 bytes of each line, enough to tell that it was cut.
void ScanInput::append(QByteArrayView bytes) {
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView part = end < 0 ? bytes : bytes.first(end);
        const qsizetype room = std::max<qsizetype>(0, kScanLineMaxBytes + 1 - m_lineSoFar);
        m_buffer.append(part.first(std::min(room, part.size())));
        if (m_lineSoFar <= kScanLineMaxBytes && m_lineSoFar + part.size() > kScanLineMaxBytes)
            m_cutLengths.push_back(0);
        m_lineSoFar += part.size();
        if (m_lineSoFar > kScanLineMaxBytes)
            m_cutLengths.back() = m_lineSoFar;
        if (end < 0)
            return;
        m_buffer.append('\n');
        m_lineSoFar = 0;
        bytes = bytes.sliced(end + 1);
    }
}

} // namespace qt2xx::station
