#include "station/TableView.h"

#include "link/TransmitWindow.h"
#include "station/PortPhase.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace qt2xx::station {

using namespace qt2xx;

namespace {

constexpr int kMinRedrawMs = 100;
constexpr int kBarWidth = 10;
constexpr int kMaxDeviceWidth = 48;
constexpr int kSerialWidth = 16;

QString bar(float progress) {
    const int filled = qBound(0, int(progress * kBarWidth / 100.0f + 0.5f), kBarWidth);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(kBarWidth - filled, QLatin1Char('-')) + QStringLiteral("] %1%").arg(int(progress), 3);
}

QString clock(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

int terminalWidth(std::FILE* out) {
    winsize size{};
    if (::ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

QString TotalsText(const Station& station) {
    const qint64 ms = station.elapsedMs();
    const double perMinute = ms > 0 ? station.finished() * 60000.0 / double(ms) : 0.0;
    return QStringLiteral("finished %1, failed %2, %3/min, elapsed %4")
        .arg(station.finished())
        .arg(station.failed())
        .arg(perMinute, 0, 'f', 1)
        .arg(clock(ms));
}

TableView::TableView(Station& station, std::FILE* out, bool colour)
    : m_station(station), m_out(out), m_colour(colour), m_width(terminalWidth(out)) {
    m_throttle.setSingleShot(true);
    connect(&m_throttle, &QTimer::timeout, this, &TableView::draw);
    connect(&station, &Station::changed, this, &TableView::schedule);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &TableView::schedule);
    m_clock.start();
    draw();
}

void TableView::schedule() {
    if (m_throttle.isActive())
        return;
    m_throttle.start(int(std::max<qint64>(0, kMinRedrawMs - m_sinceDraw.elapsed())));
}

void TableView::draw() {
    QByteArray text;
    if (m_drawn > 0)
        text += "\x1b[" + QByteArray::number(m_drawn) + "A";
    QStringList lines = rows();
    while (lines.size() < m_drawn) // a line that went away is cleared, and the table keeps its place
        lines << QString();
    for (const QString& line : lines)
        text += "\r\x1b[2K" + line.toUtf8() + "\n";
    std::fwrite(text.constData(), 1, size_t(text.size()), m_out);
    std::fflush(m_out);
    m_drawn = int(lines.size());
    m_sinceDraw.start();
}

void TableView::finish(const QString& summary) {
    m_clock.stop();
    m_throttle.stop();
    draw();
    std::fprintf(m_out, "%s\n", qPrintable(summary));
    std::fflush(m_out);
}

void TableView::setNotice(const QString& notice) {
    m_notice = notice;
    schedule();
}

void TableView::setForwarding(const QString& state) {
    m_forwarding = state;
    schedule();
}

void TableView::setLabels(const QString& state) {
    m_labels = state;
    schedule();
}

void TableView::setOrderRun(const OrderRun* run) {
    m_run = run;
    connect(run, &OrderRun::changed, this, &TableView::schedule);
    schedule();
}

void TableView::setFixture(const QString& state) {
    m_fixture = state;
    schedule();
}

void TableView::setPlant(const QString& plant) {
    m_plant = plant;
    schedule();
}

void TableView::setScanNote(const QString& note) {
    m_scanNote = note;
    schedule();
}

QStringList TableView::rows() const {
    int deviceWidth = 6;
    for (const auto& port : m_station.ports())
        deviceWidth = std::max(deviceWidth, int(port->device().size()));
    deviceWidth = std::min(deviceWidth, kMaxDeviceWidth);
    const bool serials = m_run && m_run->scanning();
    QStringList lines{
        QStringLiteral("%1  %2%3  %4  %5  %6  %7")
            .arg(QStringLiteral("DEVICE"), -deviceWidth)
            .arg(serials ? QStringLiteral("%1  ").arg(QStringLiteral("SERIAL"), -kSerialWidth) : QString())
            .arg(QStringLiteral("STATE"), -9)
            .arg(QStringLiteral("PROGRESS"), -17)
            .arg(QStringLiteral("FINISHED"), 8)
            .arg(QStringLiteral("FAILED"), 6)
            .arg(QStringLiteral("LAST MESSAGE"))
            .left(m_width - 1)};
    for (const auto& port : m_station.ports())
        lines << row(*port, deviceWidth);
    lines << totals();
    if (m_run)
        lines << orderLine().left(m_width - 1);
    if (!m_scanNote.isEmpty())
        lines << colour(m_scanNote.left(m_width - 1), kLogRed);
    if (!m_fixture.isEmpty())
        lines << colour(m_fixture.left(m_width - 1), kLogRed);
    if (!m_notice.isEmpty())
        lines << colour(m_notice.left(m_width - 1), kLogRed);
    return lines;
}

// The message is cut to the terminal's width, so no row wraps and the redraw stays in place.
QString TableView::row(const StationPort& port, int deviceWidth) const {
    QString device = port.device();
    if (device.size() > deviceWidth)
        device = QStringLiteral("…") + device.right(deviceWidth - 1);
    const bool serials = m_run && m_run->scanning();
    const QString& armed = port.serial().isEmpty() ? port.checkingSerial() : port.serial();
    const QString serial = armed.isEmpty() ? QStringLiteral("-") : armed;
    const QString cells =
        QStringLiteral("%1  %2%3  %4  %5  %6  ")
            .arg(device, -deviceWidth)
            .arg(serials ? QStringLiteral("%1  ").arg(serial.left(kSerialWidth), -kSerialWidth) : QString())
            .arg(PortStateName(port), -9)
            .arg(bar(port.progress()), -17)
            .arg(port.finished(), 8)
            .arg(port.failed() + port.interrupted(), 6);
    const int room = std::max(0, m_width - 1 - int(cells.size()));
    // A port stopped after a failure keeps the failure on screen rather than its closing line.
    const bool keepFailure = !port.running() && !port.paused() && !port.lastFailure().isEmpty();
    const bool remove = PhaseOf(port) == PortPhase::RemoveUnit;
    const QString message = remove ? kRemoveUnitText : keepFailure ? port.lastFailure() : port.lastMessage();
    return cells.left(m_width - 1) +
           colour(message.left(room), remove || keepFailure ? LogColor(kLogRed) : port.lastColor());
}

QString TableView::totals() const {
    QStringList parts{TotalsText(m_station)};
    for (const QString& state : {m_forwarding, m_labels}) {
        if (!state.isEmpty())
            parts << state;
    }
    return parts.join(QStringLiteral(", ")).left(m_width - 1);
}

// "order WO-2026-0142: 3 / 4 finished; plant 5 / 6, this bench 3; rules: plant; next scan: slot 2
// (/dev/ttyUSB1)"
QString TableView::orderLine() const {
    QStringList parts;
    const OrderPlan& plan = m_run->plan();
    if (!plan.orderId.isEmpty())
        parts << QStringLiteral("order %1: %2 / %3 finished")
                     .arg(plan.orderId)
                     .arg(m_run->unitsDone())
                     .arg(plan.quantity);
    if (!m_plant.isEmpty())
        parts << m_plant;
    if (m_run->scanning()) {
        const int slot = m_run->nextSlot();
        if (slot > 0)
            parts
                << QStringLiteral("next scan: slot %1 (%2)").arg(slot).arg(m_run->portOfSlot(slot)->device());
        else
            parts << QStringLiteral("no slot takes a scan now");
    }
    return parts.join(QStringLiteral("; "));
}

QString TableView::colour(const QString& text, int logColor) const {
    if (!m_colour || text.isEmpty())
        return text;
    const char* code = logColor == kLogGreen  ? "32"
                       : logColor == kLogRed  ? "31"
                       : logColor == kLogBlue ? "34"
                                              : nullptr;
    if (!code)
        return text;
    return QStringLiteral("\x1b[%1m%2\x1b[0m").arg(QLatin1String(code), text);
}

} // namespace qt2xx::station
