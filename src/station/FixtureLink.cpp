#include "station/FixtureLink.h"

#include <QModbusReply>
#include <QModbusRtuSerialClient>
#include <QModbusTcpClient>
#include <QVariant>

#include <algorithm>

namespace qt2xx {

namespace {

// The protocol's limits on one request.
constexpr int kMostCoilsWritten = 1968;
constexpr int kMostInputsRead = 2000;

QModbusClient* makeClient(const ModbusAddress& address, QObject* parent) {
    if (address.transport == ModbusAddress::Transport::Tcp) {
        auto* client = new QModbusTcpClient(parent);
        client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, address.host);
        client->setConnectionParameter(QModbusDevice::NetworkPortParameter, address.port);
        return client;
    }
    auto* client = new QModbusRtuSerialClient(parent);
    client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, address.device);
    client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, address.baud);
    client->setConnectionParameter(QModbusDevice::SerialParityParameter, address.parity);
    client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, address.stopBits);
    return client;
}

// Qt's error texts end with a full stop; ours go inside a sentence.
QString clause(QString text) {
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text.isEmpty() ? QStringLiteral("the connection closed") : text;
}

// Consecutive addresses read in one request.
template <typename Run> std::vector<Run> runsOf(std::vector<quint16> addresses, int most) {
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    std::vector<Run> runs;
    for (const quint16 address : addresses) {
        if (!runs.empty() && runs.back().start + runs.back().count == address && runs.back().count < most)
            ++runs.back().count;
        else
            runs.push_back(Run{address, 1});
    }
    return runs;
}

} // namespace

FixtureLink::FixtureLink(Fixture fixture, QObject* parent)
    : QObject(parent), m_fixture(std::move(fixture)), m_contacts(m_fixture.slots.size(), Contact::Unknown) {
    for (const quint16 coil : m_fixture.coils())
        m_coils[coil] = Coil{};
    std::vector<quint16> inputs;
    for (const FixtureSlot& slot : m_fixture.slots) {
        if (slot.present)
            inputs.push_back(*slot.present);
    }
    m_inputRuns = runsOf<InputRun>(inputs, kMostInputsRead);

    m_client = makeClient(m_fixture.modbus, this);
    m_client->setTimeout(int(kReplyTimeout.count()));
    m_client->setNumberOfRetries(kRetries);
    // Queued, so that whichever of the two the client sends first, its error text is set by then.
    connect(m_client, &QModbusDevice::stateChanged, this, &FixtureLink::checkConnection,
            Qt::QueuedConnection);
    connect(m_client, &QModbusDevice::errorOccurred, this, &FixtureLink::checkConnection,
            Qt::QueuedConnection);

    m_pollTimer.setInterval(kPollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &FixtureLink::poll);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::Connecting)
            lost(QStringLiteral("no connection within %1 ms").arg(kConnectTimeout.count()));
    });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &FixtureLink::connectModule);
    m_buzzTimer.setSingleShot(true);
    connect(&m_buzzTimer, &QTimer::timeout, this, &FixtureLink::buzzEnded);
    m_shutdownTimer.setSingleShot(true);
    connect(&m_shutdownTimer, &QTimer::timeout, this, [this] { finishShutdown(false); });
}

FixtureLink::~FixtureLink() {
    // Replies the client aborts on its way out find the link closed and change nothing.
    m_state = State::Closed;
    delete m_client;
    for (const QPointer<QModbusReply>& reply : m_replies)
        delete reply.data();
}

void FixtureLink::keep(QModbusReply* reply) {
    std::erase_if(m_replies, [](const QPointer<QModbusReply>& kept) { return kept.isNull(); });
    m_replies.emplace_back(reply);
}

void FixtureLink::start() {
    if (m_state == State::Idle)
        connectModule();
}

bool FixtureLink::hasContact(int slot) const {
    return slot >= 1 && slot <= int(m_fixture.slots.size()) && m_fixture.slots[std::size_t(slot - 1)].present;
}

FixtureLink::Contact FixtureLink::contact(int slot) const {
    return hasContact(slot) ? m_contacts[std::size_t(slot - 1)] : Contact::Unknown;
}

void FixtureLink::connectModule() {
    if (m_state == State::Closed)
        return;
    m_state = State::Connecting;
    if (m_client->state() == QModbusDevice::ConnectedState) {
        connected();
        return;
    }
    m_connectTimer.start(kConnectTimeout);
    if (!m_client->connectDevice())
        lost(clause(m_client->errorString()));
}

void FixtureLink::checkConnection() {
    const QModbusDevice::State state = m_client->state();
    if (m_state == State::Connecting && state == QModbusDevice::ConnectedState)
        connected();
    else if ((m_state == State::Connecting || live()) && state == QModbusDevice::UnconnectedState)
        lost(clause(m_client->errorString()));
}

void FixtureLink::connected() {
    m_connectTimer.stop();
    m_state = State::Checking;
    // Whatever the module held before, it may have lost it: every coil is written again.
    for (auto& [address, coil] : m_coils)
        coil.known = false;
    m_inputsRead = m_inputRuns.empty() || m_shuttingDown;
    m_readRun = 0;
    if (!m_inputRuns.empty() && !m_shuttingDown) {
        m_pollTimer.start();
        poll();
    }
    sendWrites();
    checkBack();
    checkShutdown();
}

void FixtureLink::lost(const QString& why) {
    m_state = State::Away;
    m_pollTimer.stop();
    m_connectTimer.stop();
    // A pulse the module never sounded would only confuse when it comes back late.
    m_buzzTimer.stop();
    m_buzzLength = std::chrono::milliseconds{0};
    setWanted(m_fixture.stack.buzzer, false);
    std::fill(m_contacts.begin(), m_contacts.end(), Contact::Unknown);
    m_client->disconnectDevice();
    if (!m_awayTold) {
        m_awayTold = true;
        m_awayReason =
            QStringLiteral("the I/O module at %1 does not answer: %2").arg(m_fixture.modbus.text, why);
        Q_EMIT moduleAway(m_awayReason);
    }
    if (m_shuttingDown) {
        finishShutdown(false);
        return;
    }
    m_retryTimer.start(kRetryInterval);
}

void FixtureLink::setWanted(const ModbusBit& bit, bool on) {
    if (bit)
        m_coils[*bit].wanted = on;
}

void FixtureLink::setOutputs(const FixtureOutputs& outputs) {
    if (m_shuttingDown)
        return;
    const std::size_t slots = std::min(outputs.slots.size(), m_fixture.slots.size());
    for (std::size_t i = 0; i < slots; ++i) {
        setWanted(m_fixture.slots[i].busy, outputs.slots[i].busy);
        setWanted(m_fixture.slots[i].pass, outputs.slots[i].pass);
        setWanted(m_fixture.slots[i].fail, outputs.slots[i].fail);
    }
    setWanted(m_fixture.stack.green, outputs.stack.green);
    setWanted(m_fixture.stack.amber, outputs.stack.amber);
    setWanted(m_fixture.stack.red, outputs.stack.red);
    sendWrites();
}

void FixtureLink::pulseBuzzer(std::chrono::milliseconds length) {
    if (!m_fixture.stack.buzzer || m_shuttingDown || length <= std::chrono::milliseconds{0})
        return;
    if (m_buzzTimer.isActive()) {
        const std::chrono::milliseconds left = m_buzzTimer.remainingTimeAsDuration();
        m_buzzTimer.start(std::max(left, length));
        return;
    }
    m_buzzLength = std::max(m_buzzLength, length);
    setWanted(m_fixture.stack.buzzer, true);
    sendWrites();
}

void FixtureLink::buzzEnded() {
    setWanted(m_fixture.stack.buzzer, false);
    sendWrites();
}

bool FixtureLink::allWritten() const {
    return !m_writeInFlight && std::none_of(m_coils.begin(), m_coils.end(),
                                            [](const auto& entry) { return entry.second.dirty(); });
}

// One write of the first stretch of neighbouring coils that holds a change, from its first change to
// its last, so that no coil the fixture does not own is touched.
void FixtureLink::sendWrites() {
    if (m_writeInFlight || !live())
        return;
    auto first =
        std::find_if(m_coils.begin(), m_coils.end(), [](const auto& entry) { return entry.second.dirty(); });
    if (first == m_coils.end())
        return;
    QList<quint16> values{first->second.wanted};
    int span = 1; // coils up to the last change
    quint16 next = first->first;
    for (auto it = std::next(first);
         it != m_coils.end() && it->first == next + 1 && values.size() < kMostCoilsWritten; ++it) {
        next = it->first;
        values.append(it->second.wanted);
        if (it->second.dirty())
            span = int(values.size());
    }
    values.resize(span);
    m_pendingWrite = QModbusDataUnit(QModbusDataUnit::Coils, first->first, values);
    QModbusReply* reply = m_client->sendWriteRequest(m_pendingWrite, m_fixture.unitId);
    if (!reply) {
        lost(clause(m_client->errorString()));
        return;
    }
    keep(reply);
    m_writeInFlight = true;
    if (reply->isFinished())
        written(reply);
    else
        connect(reply, &QModbusReply::finished, this, [this, reply] { written(reply); });
}

// Whether the reply failed; a failure while connected counts the module away.
bool FixtureLink::failed(QModbusReply* reply) {
    reply->deleteLater();
    if (reply->error() == QModbusDevice::NoError)
        return false;
    if (live()) {
        const QString detail =
            reply->error() == QModbusDevice::ProtocolError
                ? QStringLiteral("it refuses a request: %1").arg(clause(reply->errorString()))
                : clause(reply->errorString());
        lost(detail);
    }
    return true;
}

void FixtureLink::written(QModbusReply* reply) {
    m_writeInFlight = false;
    if (failed(reply) || !live())
        return;
    for (qsizetype i = 0; i < m_pendingWrite.valueCount(); ++i) {
        const quint16 address = quint16(m_pendingWrite.startAddress() + i);
        Coil& coil = m_coils[address];
        coil.written = m_pendingWrite.value(i) != 0;
        coil.known = true;
        if (m_fixture.stack.buzzer == address && coil.written && m_buzzLength.count() > 0) {
            m_buzzTimer.start(m_buzzLength);
            m_buzzLength = std::chrono::milliseconds{0};
        }
    }
    sendWrites();
    checkBack();
    checkShutdown();
}

void FixtureLink::poll() {
    if (m_readInFlight || !live() || m_inputRuns.empty())
        return;
    m_readRun = 0;
    sendRead();
}

void FixtureLink::sendRead() {
    const InputRun& run = m_inputRuns[m_readRun];
    QModbusReply* reply = m_client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::DiscreteInputs, run.start, run.count), m_fixture.unitId);
    if (!reply) {
        lost(clause(m_client->errorString()));
        return;
    }
    keep(reply);
    m_readInFlight = true;
    if (reply->isFinished())
        read(reply);
    else
        connect(reply, &QModbusReply::finished, this, [this, reply] { read(reply); });
}

void FixtureLink::read(QModbusReply* reply) {
    m_readInFlight = false;
    if (failed(reply) || !live() || m_shuttingDown)
        return;
    const QModbusDataUnit unit = reply->result();
    for (std::size_t i = 0; i < m_fixture.slots.size(); ++i) {
        const ModbusBit& present = m_fixture.slots[i].present;
        if (!present || *present < unit.startAddress() || *present >= unit.startAddress() + unit.valueCount())
            continue;
        const bool closed = unit.value(*present - unit.startAddress()) != 0;
        const Contact now = closed ? Contact::Closed : Contact::Open;
        if (m_contacts[i] != now) {
            m_contacts[i] = now;
            Q_EMIT presenceChanged(int(i) + 1, closed);
        }
    }
    if (!live()) // a receiver of presenceChanged may have shut the link down
        return;
    if (++m_readRun < m_inputRuns.size()) {
        sendRead();
        return;
    }
    m_readRun = 0;
    m_inputsRead = true;
    checkBack();
}

void FixtureLink::checkBack() {
    if (m_state != State::Checking || !m_inputsRead || !allWritten())
        return;
    m_state = State::Up;
    if (m_awayTold) {
        m_awayTold = false;
        Q_EMIT moduleBack();
    }
}

void FixtureLink::shutdown(std::chrono::milliseconds bound) {
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    m_pollTimer.stop();
    m_buzzTimer.stop();
    m_buzzLength = std::chrono::milliseconds{0};
    for (auto& [address, coil] : m_coils)
        coil.wanted = false;
    setWanted(m_fixture.stack.red, true);
    m_shutdownTimer.start(bound);
    switch (m_state) {
    case State::Idle:
    case State::Away:
        m_retryTimer.stop();
        connectModule();
        break;
    case State::Checking:
    case State::Up:
        sendWrites();
        checkShutdown();
        break;
    case State::Connecting:
    case State::Closed:
        break;
    }
}

void FixtureLink::checkShutdown() {
    if (m_shuttingDown && live() && allWritten())
        finishShutdown(true);
}

void FixtureLink::finishShutdown(bool safe) {
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_pollTimer.stop();
    m_connectTimer.stop();
    m_retryTimer.stop();
    m_shutdownTimer.stop();
    m_client->disconnectDevice();
    Q_EMIT shutDown(safe);
}

} // namespace qt2xx
