#pragma once

#include "station/FixtureFile.h"
#include "station/FixtureSignals.h"

#include <QModbusDataUnit>
#include <QModbusDevice>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

class QModbusClient;
class QModbusReply;

namespace qt2xx {

// Talks to the fixture's I/O module through Qt's asynchronous Modbus clients, never waiting on the
// event thread. It is told the state every output should have and writes only the coils that differ
// from what the module last confirmed, one write in flight at a time; it polls the unit-present
// contacts and tells their changes. A module that refuses the connection, closes it, or lets requests
// time out is told away once, retried every kRetryInterval, and told back once every coil has been
// written again and every contact read. Slots count from 1 in the order of the ports.
class FixtureLink : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kPollInterval{100};
    static constexpr std::chrono::milliseconds kReplyTimeout{500};
    static constexpr int kRetries = 1; // a request is sent at most twice before the module counts as away
    static constexpr std::chrono::milliseconds kConnectTimeout{3000};
    static constexpr std::chrono::milliseconds kRetryInterval{1000};
    static constexpr std::chrono::milliseconds kShutdownBound{1500};

    enum class Contact { Unknown, Open, Closed };

    explicit FixtureLink(Fixture fixture, QObject* parent = nullptr);
    ~FixtureLink() override;

    // Connects to the module; everything after goes by itself.
    void start();
    // The lamps every slot and the stack light should show; slots the fixture has no lamps for are
    // ignored. Ignored once shutdown() was called.
    void setOutputs(const FixtureOutputs& outputs);
    // Sounds the buzzer for length from the moment the module confirms it on; a pulse asked for
    // while one sounds extends it. A pulse the module never confirmed is dropped when it goes away.
    void pulseBuzzer(std::chrono::milliseconds length);
    // Leaves the outputs safe (every lamp and the buzzer off, the stack light red only) and tells
    // shutDown(safe) once the module confirmed it, or with safe false once it is away or bound has
    // passed, whichever comes first. The event loop must run until then.
    void shutdown(std::chrono::milliseconds bound = kShutdownBound);

    const Fixture& fixture() const { return m_fixture; }
    bool away() const { return m_awayTold; }
    QString awayReason() const { return m_awayTold ? m_awayReason : QString(); }
    bool hasContact(int slot) const;
    Contact contact(int slot) const; // Unknown until read, and while the module is away

Q_SIGNALS:
    void presenceChanged(int slot, bool present);
    void moduleAway(const QString& reason);
    void moduleBack();
    void shutDown(bool safe);

private:
    enum class State {
        Idle, // not started
        Connecting,
        Checking, // connected: every coil is written and every contact read before back is told
        Up,
        Away,   // waiting to retry
        Closed, // shut down
    };
    struct Coil {
        bool wanted = false;
        bool written = false;
        bool known = false; // written holds what the module confirmed
        bool dirty() const { return !known || written != wanted; }
    };
    struct InputRun {
        quint16 start = 0;
        quint16 count = 0;
    };

    void connectModule();
    void checkConnection();
    void connected();
    void lost(const QString& why);
    void setWanted(const ModbusBit& bit, bool on);
    void sendWrites();
    void written(QModbusReply* reply);
    void poll();
    void sendRead();
    void read(QModbusReply* reply);
    bool failed(QModbusReply* reply);
    bool allWritten() const;
    void checkBack();
    void checkShutdown();
    void finishShutdown(bool safe);
    void buzzEnded();
    bool live() const { return m_state == State::Checking || m_state == State::Up; }
    void keep(QModbusReply* reply);

    Fixture m_fixture;
    QModbusClient* m_client = nullptr;
    // Every reply not yet destroyed: the client gives them no parent, and one still in flight or
    // waiting for its deleteLater() when the link goes is deleted with it.
    std::vector<QPointer<QModbusReply>> m_replies;
    State m_state = State::Idle;
    std::map<quint16, Coil> m_coils;
    std::vector<InputRun> m_inputRuns;
    std::vector<Contact> m_contacts; // per slot, as last told
    bool m_writeInFlight = false;
    QModbusDataUnit m_pendingWrite;
    bool m_readInFlight = false;
    std::size_t m_readRun = 0;
    bool m_inputsRead = false;                 // every run read since the last connection
    std::chrono::milliseconds m_buzzLength{0}; // owed, not yet confirmed on
    bool m_shuttingDown = false;
    bool m_awayTold = false;
    QString m_awayReason;
    QTimer m_pollTimer;
    QTimer m_connectTimer;
    QTimer m_retryTimer;
    QTimer m_buzzTimer;
    QTimer m_shutdownTimer;
};

} // namespace qt2xx
