#pragma once

#include "record/ServerAddress.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>

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

    Forwarder(QString databasePath, ServerAddress server, QObject* parent = nullptr);
    Forwarder(QString databasePath, ServerAddress server, Options options, QObject* parent = nullptr);
    ~Forwarder() override;

    // The server without anything secret, for messages.
    QString server() const { return m_serverName; }

    void start();
    // A record was committed locally: look now rather than at the next poll.
    void wake();

    // Between a "stopped" and the next "resumed".
    bool isStopped() const { return m_failing.load(); }
    // Records not yet acknowledged by the server, as last counted; -1 before the first count.
    qint64 waiting() const { return m_waiting.load(); }
    // Waits, on the caller's thread, until nothing is left to send; for the end of a program.
    bool waitUntilSent(std::chrono::milliseconds timeout);

Q_SIGNALS:
    void stopped(const QString& reason);
    void resumed();
    void waitingChanged(qint64 waiting);

private:
    class Worker;
    friend class Worker;

    QString m_serverName;
    QThread m_thread;
    Worker* m_worker = nullptr;
    std::atomic<qint64> m_waiting{-1};
    std::atomic<bool> m_failing{false};
    std::atomic<quint64> m_cycles{0}; // attempts finished, to know a count is newer than a call
};

} // namespace qt2xx
