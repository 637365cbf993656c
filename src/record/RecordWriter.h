#pragma once

#include "platform/core/Result.h"
#include "record/ProductionRecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QThread;

namespace qt2xx {

class RecordStore;

// What the operator reads when the record cannot be written, and when it can be again.
QString RecordNotSavedMessage(const QString& database, const QString& reason);
inline const QString kRecordSavedAgain = QStringLiteral("Record saved again");

// Writes the production record on a thread of its own, so a slow or failing disk never holds up the
// caller. Work is written in the order it was handed over. A write that fails is kept and tried again
// until it succeeds, so a short failure loses nothing; the failure is told once per streak.
class RecordWriter : public QObject {
    Q_OBJECT
public:
    // How long a failed write waits before it is tried again.
    static constexpr std::chrono::milliseconds kRetryInterval{1000};

    explicit RecordWriter(QString databasePath, QObject* parent = nullptr);
    // With another wait before a failed write is tried again; tests use a short one.
    RecordWriter(QString databasePath, std::chrono::milliseconds retryInterval, QObject* parent = nullptr);
    // Finishes what was handed over (waiting a bounded time), then stops.
    ~RecordWriter() override;

    QString databasePath() const { return m_path; }

    // Opens the database now, so that a failure is told before the first record.
    void probe();
    void beginRun(const RunInfo& run);
    void endRun(const QString& runId, const QDateTime& stoppedAt);
    // Never blocks; committed(ticket, ...) follows once the record is durable.
    quint64 submit(const ProductionRecord& record);
    // From now on each finished record submitted queues its label for the printer (its address as
    // given), in the record's own transaction; empty for none, as at the start.
    void setLabelPrinter(const QString& printer);

    // Waits until everything handed over is durable (true), or has been tried since the call and
    // failed, or the time is up (false).
    bool flush(std::chrono::milliseconds timeout);
    // Work handed over and not yet durable.
    int pending() const;

    std::chrono::milliseconds retryInterval() const { return m_retryInterval; }

Q_SIGNALS:
    void committed(quint64 ticket, const QString& recordId);
    void writeFailed(const QString& database, const QString& reason); // once per failure streak
    void writeRecovered();                                            // the first success after a streak

private:
    struct Job {
        quint64 ticket = 0; // 0 for run rows
        std::function<Done(RecordStore&)> write;
        QString recordId;
    };

    void enqueue(Job job);
    void work();
    Done writeFront(std::unique_ptr<RecordStore>& store, const Job& job);

    const QString m_path;
    const std::chrono::milliseconds m_retryInterval;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // work arrived or the writer stops
    std::condition_variable m_settled; // the queue emptied or a write failed
    std::deque<Job> m_queue;
    quint64 m_nextTicket = 1;
    quint64 m_attempts = 0; // failed attempts so far
    bool m_failing = false;
    bool m_stopping = false;
    QString m_labelPrinter;
    QThread* m_thread = nullptr;
};

} // namespace qt2xx
