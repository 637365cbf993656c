#pragma once

#include "forward/ServerAddress.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>

namespace qt2xx {

// What the operator reads when forwarding stops, and when it goes on again.
QString RecordsNotForwardedMessage(const QString& server, const QString& reason);
QString RecordsForwardedAgainMessage(const QString& server);

// Sends the records of a local record database to the central server on a thread of its own,
// oldest first, in small batches, remembering in the database what the server has acknowledged.
// A record sent twice (its acknowledgement lost) is stored once. While the server cannot be
// reached or refuses, records wait locally and attempts back off; the owner hears once when
// forwarding stops and once when it resumes. Nothing here ever waits on the caller's thread.
class Forwarder : public QObject {
    Q_OBJECT
public:
    struct Options {
        int batchSize = 50;
        std::chrono::milliseconds poll{500};        // looks for new records this often when idle
        std::chrono::milliseconds firstRetry{1000}; // back-off after the first failed attempt...
        std::chrono::milliseconds maxRetry{5000};   // ...doubling up to this
    };

    // How long stopping waits for an attempt under way, as the destructor does.
    static constexpr std::chrono::milliseconds kStopBudget{500};

    Forwarder(QString databasePath, ServerAddress server, QObject* parent = nullptr);
    Forwarder(QString databasePath, ServerAddress server, Options options, QObject* parent = nullptr);
    // Stops within kStopBudget.
    ~Forwarder() override;

    // The server without anything secret, for messages.
    QString server() const { return m_serverName; }

    void start();
    // A record was committed locally: look now rather than at the next poll.
    void wake();

    // Between a "stopped" and the next "resumed".
    bool isStopped() const { return m_shared->failing.load(); }
    // Records not yet acknowledged by the server, as last counted; -1 before the first count.
    qint64 waiting() const { return m_shared->waiting.load(); }
    // Waits, on the caller's thread, until nothing is left to send; for the end of a program.
    bool waitUntilSent(std::chrono::milliseconds timeout);
    // Stops forwarding within budget, whatever the server does: an attempt still under way then
    // (a server that never answers holds one for the whole connect timeout) is left to end on its
    // own and the program may exit meanwhile. What the server has not acknowledged stays in the
    // local database for the next start. True when the attempt ended within budget.
    bool shutdown(std::chrono::milliseconds budget);

Q_SIGNALS:
    void stopped(const QString& reason);
    void resumed();
    void waitingChanged(qint64 waiting);

private:
    class Worker;
    // What the forwarding thread tells; it outlives the Forwarder when an attempt is abandoned.
    struct Shared {
        std::atomic<qint64> waiting{-1};
        std::atomic<bool> failing{false};
        std::atomic<quint64> cycles{0}; // attempts finished, to know a count is newer than a call
    };

    QString m_serverName;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    QThread* m_thread = nullptr; // both null once stopped
    Worker* m_worker = nullptr;
};

} // namespace qt2xx
