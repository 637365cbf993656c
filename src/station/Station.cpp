#include "station/Station.h"

#include "files/AsvFormat.h"

#include "record/RecordWriter.h"
#include "record/RunRecorder.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace qt2xx {
namespace {

// How often a stop looks whether the ports that hold a stored controller have reported it.
constexpr std::chrono::milliseconds kStoredPoll{10};

} // namespace

Station::Station(const ParameterValues& values, const DownloadFrame& frame, QObject* parent)
    : QObject(parent), m_values(values), m_frame(frame) {}

Station::~Station() = default;

StationPort& Station::addPort(const QString& device) {
    auto port = std::make_unique<StationPort>(device, m_values, m_frame);
    StationPort* raw = port.get();
    connect(raw, &StationPort::event, this,
            [this, raw](const PortEvent& event) { onPortEvent(*raw, event); });
    // A finished unit whose record is still on its way is told only once it is committed, but the
    // port is free from its end: it must not seek on past the count meanwhile.
    connect(raw, &StationPort::unitEnded, this, [this, raw](const PortEvent& event) {
        if (!m_stopping && event.finished())
            balance(raw, false);
    });
    connect(raw, &StationPort::changed, this, &Station::changed);
    connect(raw, &StationPort::removeUnit, this, &Station::removeUnit);
    connect(raw, &StationPort::unitRemoved, this, &Station::unitRemoved);
    connect(raw, &StationPort::mayRunNow, this, &Station::rebalance);
    if (m_writer)
        attachRecorder(*raw);
    m_ports.push_back(std::move(port));
    return *raw;
}

void Station::attachRecorder(StationPort& port) {
    RunSource source;
    source.device = [&port] { return port.device(); };
    source.values = [this]() -> const ParameterValues& { return m_values; };
    source.frame = [this]() -> const DownloadFrame& { return m_frame; };
    source.openedFile = [this] {
        return std::pair{m_parameterFile, m_parameterFile.isEmpty() ? QByteArray() : WriteAsv(m_values)};
    };
    auto recorder = std::make_unique<RunRecorder>(*m_writer, std::move(source));
    recorder->setUnitCount([&port] { return port.unit(); });
    recorder->setContext(m_context);
    recorder->setUnitLabel([&port] { return UnitLabel{port.serial(), port.rework(), port.offline()}; });
    recorder->submitted = [&port](quint64 ticket, const ProductionRecord&) { port.recordSubmitted(ticket); };
    port.setRecorder(recorder.get());
    if (m_recorders.empty()) {
        connect(m_writer, &RecordWriter::committed, this,
                [this](quint64 ticket, const QString&) { recordCommitted(ticket); });
        connect(m_writer, &RecordWriter::writeFailed, this,
                [this](const QString&, const QString& reason) { setRecordsFailing(true, reason); });
        connect(m_writer, &RecordWriter::writeRecovered, this, [this] { setRecordsFailing(false); });
    }
    m_recorders.push_back(std::move(recorder));
}

int Station::start() {
    const DownloadFrame built = m_frame;
    for (auto it = m_ports.begin(); it != m_ports.end();) {
        if ((*it)->start()) {
            // A scanned port opens with the others, so a port that cannot open is told at once,
            // but seeks only once it is armed; nothing is written before the first tick.
            if (!(*it)->mayRun())
                (*it)->stop(false);
            ++it;
            continue;
        }
        Q_EMIT openFailed((*it)->device(), (*it)->openProblem());
        it = m_ports.erase(it);
    }
    // Each start builds the frame again from the same set; a frame that came out different would
    // mean the ports no longer send what the file gives.
    Q_ASSERT(m_frame == built);
    m_elapsed.start();
    m_running = true;
    return int(m_ports.size());
}

// A controller that has answered "R" has stored the frame: its port stops after the tick that reports
// it finished, at most one tick later, so it is not told cut short. Every other port stops at once.
void Station::stop() {
    if (m_stopped)
        return;
    m_stopping = true;
    bool storing = false;
    for (auto& port : m_ports) {
        if (port->state() == CommFlag::Stored)
            storing = true;
        else
            port->stop();
    }
    if (storing) {
        QTimer::singleShot(kStoredPoll, this, &Station::stop);
        return;
    }
    m_stopped = true;
    Q_EMIT changed();
    Q_EMIT stopped();
}

int Station::finished() const {
    int sum = 0;
    for (const auto& port : m_ports)
        sum += port->finished();
    return sum;
}

int Station::failed() const {
    int sum = 0;
    for (const auto& port : m_ports)
        sum += port->failed() + port->interrupted();
    return sum;
}

bool Station::running() const {
    return !m_stopped && std::any_of(m_ports.cbegin(), m_ports.cend(),
                                     [](const auto& port) { return port->running() || port->paused(); });
}

int Station::busyPorts() const {
    int busy = 0;
    for (const auto& port : m_ports)
        busy += port->busy() ? 1 : 0;
    return busy;
}

int Station::unconfirmed() const {
    int sum = 0;
    for (const auto& port : m_ports)
        sum += port->tally().held();
    return sum;
}

void Station::recordCommitted(quint64 ticket) {
    for (auto& port : m_ports)
        port->recordCommitted(ticket);
}

void Station::setRecordsFailing(bool failing, const QString& reason) {
    if (failing == m_recordsFailing)
        return;
    m_recordsFailing = failing;
    if (failing)
        Q_EMIT recordsFailed(reason);
    else
        Q_EMIT recordsResumed();
    balance(nullptr, false);
    Q_EMIT changed();
}

void Station::onPortEvent(StationPort& port, const PortEvent& event) {
    Q_EMIT this->event(event);
    if (!m_stopping)
        balance(&port, event.failed());
}

// With a count, a port that is only seeking pauses while the exchanges under way can make up the
// count, so no controller is begun that would not be finished; the paused ports seek again if one of
// them fails. A port whose controller failed then yields to them, or with a faulty controller on it
// it would always answer first and keep the others paused. The station stops once the count is
// reached and no exchange is under way. The port that told the event is inside its sequencer's call,
// so it is paused, like the station's stop, after that call.
void Station::balance(StationPort* source, bool sourceFailed) {
    if (!m_running || m_stopping || m_stopped)
        return;
    const int made = finished() + unconfirmed();
    const bool covered = m_recordsFailing || (m_count > 0 && made + busyPorts() >= m_count);
    bool resumed = false;
    for (auto& port : m_ports) {
        if (covered && !port->busy() && port->running()) {
            if (port.get() == source)
                pauseLater(*port);
            else
                port->stop(false);
        } else if (!covered && port->paused() && port->mayRun()) {
            resumed = port->start() || resumed;
        }
    }
    if (resumed && sourceFailed && source && source->running())
        pauseLater(*source);
    if (m_count <= 0 || made < m_count || busyPorts() > 0)
        return;
    if (unconfirmed() == 0)
        QTimer::singleShot(0, this, &Station::stop);
    else if (std::exchange(m_toldWaiting, unconfirmed()) != unconfirmed())
        Q_EMIT waitingForRecords(unconfirmed());
}

void Station::pauseLater(StationPort& port) {
    QTimer::singleShot(0, this, [this, &port] {
        if (!m_stopped && !port.busy() && port.running())
            port.stop(false);
    });
}

} // namespace qt2xx
