#include "station/StationPort.h"

#include "record/ProductionRecord.h"

#include <utility>

namespace qt2xx {
namespace {

std::chrono::nanoseconds since(const QElapsedTimer& clock, qint64 startNs) {
    return std::chrono::nanoseconds(clock.nsecsElapsed() - startNs);
}

} // namespace

QString PortEventName(const PortEvent& event) {
    switch (event.kind) {
    case PortEventKind::Started:
        return QStringLiteral("started");
    case PortEventKind::Done:
        return ResultName(event.outcome);
    case PortEventKind::Interrupted:
        return QStringLiteral("interrupted");
    case PortEventKind::Lost:
        return QStringLiteral("lost");
    case PortEventKind::Back:
        return QStringLiteral("back");
    case PortEventKind::Stopped:
        return QStringLiteral("stopped");
    }
    return {};
}

StationPort::StationPort(QString device, const ParameterValues& values, DownloadFrame& frame, QObject* parent)
    : QObject(parent), m_device(std::move(device)), m_values(values),
      m_receiveTimer(connect(&m_port, &CommPort::onComm, this, &StationPort::beginReceive)),
      m_sequencer(m_port, *this, *this, *this, m_captured, frame), m_watch(m_device) {
    connect(&m_port, &CommPort::onComm, this, &StationPort::endReceive);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickInterval);
    connect(&m_timer, &QTimer::timeout, this, &StationPort::tick);
    m_sequencer.setObserver(this);
    m_clock.start();
    connect(&m_watch, &RemovalWatch::gone, this, [this] {
        m_watchedSerial.clear();
        Q_EMIT unitRemoved(m_device);
        Q_EMIT changed();
    });
    connect(&m_watch, &RemovalWatch::handedOver, this, [this] {
        m_watchedSerial.clear();
        Q_EMIT changed();
        Q_EMIT mayRunNow();
    });
}

StationPort::~StationPort() {
    m_sequencer.setObserver(nullptr);
}

bool StationPort::start() {
    if (running())
        return true;
    m_openProblem.clear();
    const bool wasPaused = std::exchange(m_paused, false);
    m_finalStop = false; // a start that fails has stopped nothing
    m_sequencer.cmdFileSend_Click();
    m_finalStop = true;
    if (!running())
        m_paused = wasPaused; // tried again at the next chance
    if (!running() && m_openProblem.isEmpty()) {
        // A failure the window passes over in silence still has its reason for the station's user.
        m_openProblem = m_port.lastFailure().reason;
    }
    return running();
}

void StationPort::arm(const QString& serial, bool rework) {
    m_serial = serial;
    m_rework = rework;
    if (m_watch.watching())
        m_watch.handOver();
    // A contact needs no quiet interval: nothing was written to the controller while it watched.
    const bool handedOver = std::exchange(m_contactWatch, false);
    if (handedOver)
        m_watchedSerial.clear();
    Q_EMIT changed();
    if (handedOver)
        Q_EMIT mayRunNow();
}

void StationPort::contactChanged(UnitContact contact) {
    if (contact == m_contact)
        return;
    m_contact = contact;
    if (m_contactWatch && contact == UnitContact::Open)
        contactGone();
    else if (contact == UnitContact::Open)
        dropScan();
    Q_EMIT contactMoved();
    Q_EMIT changed();
}

bool StationPort::takesScan() const {
    if (watching() || busy())
        return false;
    return m_contact == UnitContact::None || m_contact == UnitContact::Closed;
}

bool StationPort::waitsForUnit() const {
    return m_contact == UnitContact::Open && !watching() && !busy();
}

void StationPort::stop(bool final) {
    m_pauseDue = false;
    if (final) {
        m_watchDue = false;
        endWatch();
    }
    if (!running()) {
        if (final && m_paused) {
            m_paused = false;
            tell(PortEventKind::Stopped);
        }
        return;
    }
    m_paused = !final;
    m_finalStop = final;
    m_sequencer.cmdFileSend_Click();
    m_finalStop = true;
}

void StationPort::setProgressValue(float value) {
    if (value == m_progress)
        return;
    m_progress = value;
    Q_EMIT changed();
}

void StationPort::setTimerEnabled(bool enabled) {
    m_timerEnabled = enabled;
    if (!enabled || m_manualTicks) {
        m_timer.stop();
        return;
    }
    m_timer.start();
    m_lastTickNs = m_clock.nsecsElapsed();
}

void StationPort::ReceiveDisplay(const QString& strAdd, LogColor intColor) {
    m_lastMessage = strAdd;
    if (intColor == kLogRed)
        m_lastFailure = strAdd;
    m_lastColor = intColor;
    Q_EMIT changed();
}

void StationPort::show(const QString& text, const QString& informative) {
    m_openProblem = informative.isEmpty() ? text : text + QLatin1Char(' ') + informative;
}

void StationPort::runStarted() {
    if (m_recorder)
        m_recorder->runStarted();
}

void StationPort::controllerAnswered() {
    if (m_tally.open())
        closeUnit(PortEventKind::Interrupted);
    m_tally.begin();
    if (m_recorder)
        m_recorder->controllerAnswered();
    tell(PortEventKind::Started);
}

void StationPort::controllerDone(Outcome outcome) {
    if (m_recorder)
        m_recorder->controllerDone(outcome);
    if (outcome == Outcome::Finished)
        m_lastFailure.clear();
    closeUnit(PortEventKind::Done, outcome);
}

void StationPort::commLost() {
    if (m_recorder)
        m_recorder->commLost();
    m_lost = true;
    if (m_tally.open())
        closeUnit(PortEventKind::Interrupted);
    tell(PortEventKind::Lost);
}

void StationPort::commBack() {
    if (m_recorder)
        m_recorder->commBack();
    m_lost = false;
    m_lastFailure.clear();
    tell(PortEventKind::Back);
}

void StationPort::runStopped() {
    if (m_recorder)
        m_recorder->runStopped();
    if (m_tally.open())
        closeUnit(PortEventKind::Interrupted);
    if (m_finalStop)
        tell(PortEventKind::Stopped);
    Q_EMIT changed();
}

// A finished unit whose record is on its way is told once the record is committed.
// A scanned port forgets the serial with the unit, and pauses before its sequencer seeks again.
void StationPort::closeUnit(PortEventKind kind, Outcome outcome) {
    const PortEvent event = makeEvent(kind, outcome);
    if (m_scanned) {
        m_serial.clear();
        m_rework = false;
        m_pauseDue = running();
        m_watchDue = m_pauseDue;
        m_watchedSerial = event.serial;
    }
    if (m_tally.close(event))
        emitEvent(event);
    Q_EMIT unitEnded(event);
    Q_EMIT changed();
}

PortEvent StationPort::makeEvent(PortEventKind kind, Outcome outcome) const {
    return PortEvent{
        QDateTime::currentDateTimeUtc(), m_device, m_tally.unit(), kind, outcome, m_serial, m_rework};
}

void StationPort::pauseIfDue() {
    if (std::exchange(m_pauseDue, false) && running())
        stop(false);
    if (std::exchange(m_watchDue, false) && m_paused && !running())
        beginWatch();
}

// With a contact, a unit pulled while it was programmed is gone as soon as it is watched for.
void StationPort::beginWatch() {
    if (m_contact == UnitContact::None)
        m_watch.begin();
    else
        m_contactWatch = true;
    Q_EMIT removeUnit(m_device, m_watchedSerial);
    Q_EMIT changed();
    if (m_contactWatch && m_contact == UnitContact::Open)
        contactGone();
}

void StationPort::endWatch() {
    if (!watching())
        return;
    m_watch.end();
    m_contactWatch = false;
    m_watchedSerial.clear();
    Q_EMIT changed();
}

// The same end as the removal watch's.
void StationPort::contactGone() {
    m_contactWatch = false;
    m_watchedSerial.clear();
    Q_EMIT unitRemoved(m_device);
    Q_EMIT changed();
}

// Kept, the serial would go to whichever unit is put in next: that unit would be programmed and
// recorded under the serial of the one taken out. A unit whose exchange has begun ends as any unit
// cut short does.
void StationPort::dropScan() {
    if (!m_scanned || m_serial.isEmpty() || busy())
        return;
    const QString serial = std::exchange(m_serial, QString());
    m_rework = false;
    if (running())
        stop(false);
    Q_EMIT scanDropped(m_device, serial);
}

void StationPort::recordCommitted(quint64 ticket) {
    if (const std::optional<PortEvent> event = m_tally.commit(ticket)) {
        emitEvent(*event);
        Q_EMIT changed();
    }
}

void StationPort::tell(PortEventKind kind, Outcome outcome) {
    emitEvent(makeEvent(kind, outcome));
    Q_EMIT changed();
}

// A unit's end is kept as it is told, so a finished unit shows finished only once its record is.
void StationPort::emitEvent(const PortEvent& event) {
    if (event.kind == PortEventKind::Started)
        m_lastEnd.reset();
    else if (event.finished() || event.failed())
        m_lastEnd = UnitEnd{event.finished(), event.serial, event.failed() ? m_lastMessage : QString()};
    Q_EMIT this->event(event);
}

void StationPort::tick() {
    const qint64 began = m_clock.nsecsElapsed();
    if (m_lastTickNs >= 0)
        m_timing.largestTickGap =
            std::max(m_timing.largestTickGap, std::chrono::nanoseconds(began - m_lastTickNs));
    m_lastTickNs = began;
    m_sequencer.Timer1_Timer();
    pauseIfDue();
    ++m_timing.ticks;
    m_timing.longestTick = std::max(m_timing.longestTick, since(m_clock, began));
}

void StationPort::beginReceive() {
    m_receiveBeganNs = m_clock.nsecsElapsed();
}

void StationPort::endReceive() {
    m_timing.longestReceive = std::max(m_timing.longestReceive, since(m_clock, m_receiveBeganNs));
    pauseIfDue();
}

} // namespace qt2xx
