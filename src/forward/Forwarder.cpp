#include "forward/Forwarder.h"

#include "forward/ForwardOutbox.h"
#include "forward/ServerStore.h"
#include "platform/core/WorkerThread.h"

#include <QElapsedTimer>
#include <QTimer>

#include <QDeadlineTimer>

#include <memory>
#include <utility>

namespace qt2xx {

QString RecordsNotForwardedMessage(const QString& server, const QString& reason) {
    return QStringLiteral("Records not forwarded to %1: %2").arg(server, reason);
}

QString RecordsForwardedAgainMessage(const QString& server) {
    return QStringLiteral("Records forwarded again to %1").arg(server);
}

// Lives on the forwarding thread; every database connection is made and used there.
class Forwarder::Worker : public QObject {
    Q_OBJECT
public:
    Worker(std::shared_ptr<Shared> shared, QString databasePath, ServerAddress server, Options options)
        : m_shared(std::move(shared)), m_path(std::move(databasePath)), m_address(std::move(server)),
          m_options(options), m_retry(options.firstRetry) {
        m_timer.setParent(this);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &Worker::cycle);
    }

    void begin() { schedule(std::chrono::milliseconds(0)); }

    void wake() {
        if (!m_failing && (!m_timer.isActive() || m_timer.remainingTime() > 0))
            schedule(std::chrono::milliseconds(0));
    }

    void finish() {
        m_timer.stop();
        m_server.reset();
        m_outbox.reset();
        thread()->quit();
    }

Q_SIGNALS:
    void stopped(const QString& reason);
    void resumed();
    void waitingChanged(qint64 waiting);

private:
    void schedule(std::chrono::milliseconds delay) { m_timer.start(delay); }

    void cycle() {
        if (!m_outbox)
            m_outbox = std::make_unique<ForwardOutbox>(m_path, m_address.display());
        if (!m_outbox->isOpen()) {
            const Result<ForwardOutbox::Opened> opened = m_outbox->open();
            if (!opened)
                return failed(opened.error());
            if (*opened == ForwardOutbox::Opened::NotYet)
                return schedule(m_options.poll);
        }
        if (!m_server)
            m_server = std::make_unique<ServerStore>(m_address);
        if (!m_server->isOpen())
            if (const Done opened = m_server->open(); !opened)
                return failed(opened.error());
        const Result<bool> more = forwardBatch();
        if (!more)
            return failed(more.error());
        succeeded(*more);
    }

    // Sends what changed since the server last took something; whether a full batch went, so that
    // more may wait.
    Result<bool> forwardBatch() {
        const Result<std::vector<ForwardOutbox::Run>> runs = m_outbox->changedRuns();
        if (!runs)
            return Fail(runs.error());
        const Result<std::vector<ForwardOutbox::Record>> records = m_outbox->nextRecords(m_options.batchSize);
        if (!records)
            return Fail(records.error());
        const Result<std::vector<OrderInfo>> orders = m_outbox->ordersOf(*records);
        if (!orders)
            return Fail(orders.error());
        if (!runs->empty() || !records->empty()) {
            if (const Done sent = m_server->send(*runs, *orders, *records); !sent) {
                // The connection may be gone; the next attempt opens a new one.
                m_server->close();
                return Fail(sent.error());
            }
            // Were this lost, the batch goes again and the server keeps one copy of each record.
            const qint64 lastSeq = records->empty() ? 0 : records->back().seq;
            if (const Done acknowledged = m_outbox->acknowledge(*runs, lastSeq); !acknowledged)
                return Fail(acknowledged.error());
        }
        return records->size() == std::size_t(m_options.batchSize);
    }

    void succeeded(bool more) {
        m_retry = m_options.firstRetry;
        if (m_failing) {
            m_failing = false;
            m_shared->failing = false;
            Q_EMIT resumed();
        }
        countWaiting();
        schedule(more ? std::chrono::milliseconds(0) : m_options.poll);
    }

    void failed(const QString& reason) {
        // Kept for the status when it can be; the operator is told either way.
        if (m_outbox && m_outbox->isOpen())
            (void)m_outbox->noteFailure(reason);
        if (!m_failing) {
            m_failing = true;
            m_shared->failing = true;
            Q_EMIT stopped(reason);
        }
        countWaiting();
        schedule(m_retry);
        m_retry = std::min(m_retry * 2, m_options.maxRetry);
    }

    void countWaiting() {
        if (!m_outbox || !m_outbox->isOpen())
            return;
        const Result<qint64> counted = m_outbox->waitingCount();
        if (!counted)
            return;
        const qint64 waiting = *counted;
        if (m_shared->waiting.exchange(waiting) != waiting)
            Q_EMIT waitingChanged(waiting);
        ++m_shared->cycles;
    }

    std::shared_ptr<Shared> m_shared;
    QString m_path;
    ServerAddress m_address;
    Options m_options;
    std::chrono::milliseconds m_retry;
    bool m_failing = false;
    QTimer m_timer;
    std::unique_ptr<ForwardOutbox> m_outbox;
    std::unique_ptr<ServerStore> m_server;
};

Forwarder::Forwarder(QString databasePath, ServerAddress server, QObject* parent)
    : Forwarder(std::move(databasePath), std::move(server), Options{}, parent) {}

Forwarder::Forwarder(QString databasePath, ServerAddress server, Options options, QObject* parent)
    : QObject(parent), m_serverName(server.display()), m_thread(new QThread) {
    m_thread->setObjectName(QStringLiteral("record forwarding"));
    m_worker = new Worker(m_shared, std::move(databasePath), std::move(server), options);
    m_worker->moveToThread(m_thread);
    // Queued to this thread, and gone with this object: an abandoned attempt tells no one.
    connect(m_worker, &Worker::stopped, this, &Forwarder::stopped);
    connect(m_worker, &Worker::resumed, this, &Forwarder::resumed);
    connect(m_worker, &Worker::waitingChanged, this, &Forwarder::waitingChanged);
}

Forwarder::~Forwarder() {
    shutdown(kStopBudget);
}

bool Forwarder::shutdown(std::chrono::milliseconds budget) {
    return StopWorkerThread(m_thread, m_worker, this, budget);
}

void Forwarder::start() {
    if (!m_thread || m_thread->isRunning())
        return;
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->begin(); }, Qt::QueuedConnection);
}

void Forwarder::wake() {
    if (!m_worker)
        return;
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->wake(); }, Qt::QueuedConnection);
}

bool Forwarder::waitUntilSent(std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    // The count must come from an attempt that began after this call: the one a running attempt
    // finishes may predate the records committed just before it.
    const quint64 after = m_shared->cycles.load() + 2;
    wake();
    while (m_shared->cycles.load() < after || m_shared->waiting.load() != 0 || m_shared->failing.load()) {
        if (clock.elapsed() >= timeout.count())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace qt2xx

#include "Forwarder.moc"
