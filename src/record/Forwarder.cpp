#include "record/Forwarder.h"

#include "record/ForwardOutbox.h"
#include "record/ServerStore.h"

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
        QString error;
        if (!m_outbox)
            m_outbox = std::make_unique<ForwardOutbox>(m_path, m_address.display());
        if (!m_outbox->isOpen()) {
            const ForwardOutbox::Opened opened = m_outbox->open(&error);
            if (opened == ForwardOutbox::Opened::NotYet)
                return schedule(m_options.poll);
            if (opened == ForwardOutbox::Opened::Failed)
                return failed(error);
        }
        if (!m_server)
            m_server = std::make_unique<ServerStore>(m_address);
        if (!m_server->isOpen() && !m_server->open(&error))
            return failed(error);
        std::vector<ForwardOutbox::Run> runs;
        std::vector<ForwardOutbox::Record> records;
        std::vector<OrderInfo> orders;
        if (!m_outbox->changedRuns(&runs, &error) ||
            !m_outbox->nextRecords(m_options.batchSize, &records, &error) ||
            !m_outbox->ordersOf(records, &orders, &error))
            return failed(error);
        if (!runs.empty() || !records.empty()) {
            if (!m_server->send(runs, orders, records, &error)) {
                // The connection may be gone; the next attempt opens a new one.
                m_server->close();
                return failed(error);
            }
            // Were this lost, the batch goes again and the server keeps one copy of each record.
            const qint64 lastSeq = records.empty() ? 0 : records.back().seq;
            if (!m_outbox->acknowledge(runs, lastSeq, &error))
                return failed(error);
        }
        succeeded(records.size() == std::size_t(m_options.batchSize));
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
        if (m_outbox && m_outbox->isOpen())
            m_outbox->noteFailure(reason, nullptr);
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
        const qint64 waiting = m_outbox && m_outbox->isOpen() ? m_outbox->waitingCount(nullptr) : -1;
        if (waiting < 0)
            return;
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
    if (!m_thread)
        return true;
    QThread* thread = std::exchange(m_thread, nullptr);
    Worker* worker = std::exchange(m_worker, nullptr);
    QObject::disconnect(worker, nullptr, this, nullptr);
    if (!thread->isRunning()) {
        delete worker;
        delete thread;
        return true;
    }
    QMetaObject::invokeMethod(
        worker, [worker] { worker->finish(); }, Qt::QueuedConnection);
    if (thread->wait(QDeadlineTimer(budget))) {
        delete worker;
        delete thread;
        return true;
    }
    // The attempt holds the thread; it ends on its own, and whatever event loop is left then
    // tidies up. A program that exits first leaves both behind, which is harmless.
    connect(thread, &QThread::finished, thread, [thread, worker] {
        thread->wait();
        delete worker;
        thread->deleteLater();
    });
    return false;
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
