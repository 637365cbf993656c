#include "record/RecordWriter.h"

#include "record/RecordStore.h"

#include <QThread>

#include <memory>
#include <utility>

namespace qt2xx {

namespace {
// How long closing waits for the last records to be written.
constexpr std::chrono::milliseconds kCloseWait{5000};

std::function<Done(RecordStore&)> writeRecord(const ProductionRecord& record, const QString& labelPrinter) {
    if (labelPrinter.isEmpty())
        return [record](RecordStore& store) { return store.append(record); };
    return [record, labelPrinter](RecordStore& store) { return store.appendWithLabel(record, labelPrinter); };
}

} // namespace

QString RecordNotSavedMessage(const QString& database, const QString& reason) {
    return QStringLiteral("Record not saved in %1: %2").arg(database, reason);
}

RecordWriter::RecordWriter(QString databasePath, QObject* parent)
    : RecordWriter(std::move(databasePath), kRetryInterval, parent) {}

RecordWriter::RecordWriter(QString databasePath, std::chrono::milliseconds retryInterval, QObject* parent)
    : QObject(parent), m_path(std::move(databasePath)), m_retryInterval(retryInterval) {
    m_thread = QThread::create([this] { work(); });
    m_thread->start();
}

RecordWriter::~RecordWriter() {
    if (!flush(kCloseWait))
        qWarning("%d records could not be written to %s", pending(), qPrintable(m_path));
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
}

void RecordWriter::probe() {
    enqueue({0, [](RecordStore&) { return Done(); }, {}});
}

void RecordWriter::beginRun(const RunInfo& run) {
    enqueue({0, [run](RecordStore& store) { return store.beginRun(run); }, {}});
}

void RecordWriter::endRun(const QString& runId, const QDateTime& stoppedAt) {
    enqueue({0, [runId, stoppedAt](RecordStore& store) { return store.endRun(runId, stoppedAt); }, {}});
}

quint64 RecordWriter::submit(const ProductionRecord& record) {
    quint64 ticket = 0;
    {
        std::lock_guard lock(m_mutex);
        ticket = m_nextTicket++;
        m_queue.push_back({ticket, writeRecord(record, m_labelPrinter), record.recordId});
    }
    m_wake.notify_one();
    return ticket;
}

void RecordWriter::setLabelPrinter(const QString& printer) {
    std::lock_guard lock(m_mutex);
    m_labelPrinter = printer;
}

void RecordWriter::enqueue(Job job) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

bool RecordWriter::flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const quint64 attempts = m_attempts;
    m_settled.wait_for(lock, timeout, [&] { return m_queue.empty() || m_attempts != attempts; });
    return m_queue.empty();
}

int RecordWriter::pending() const {
    std::lock_guard lock(m_mutex);
    return int(m_queue.size());
}

Done RecordWriter::writeFront(std::unique_ptr<RecordStore>& store, const Job& job) {
    if (!store) {
        Result<std::unique_ptr<RecordStore>> opened = RecordStore::open(m_path);
        if (!opened)
            return Fail(opened.error());
        store = std::move(*opened);
    }
    return job.write(*store);
}

// The front job stays queued until it is written, so a failure keeps it, and everything behind it,
// for the next try.
void RecordWriter::work() {
    std::unique_ptr<RecordStore> store;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty() || (m_stopping && m_failing))
            break;
        const Job job = m_queue.front();
        lock.unlock();
        const Done written = writeFront(store, job);
        lock.lock();
        if (written) {
            m_queue.pop_front();
            const bool recovered = std::exchange(m_failing, false);
            if (m_queue.empty())
                m_settled.notify_all();
            lock.unlock();
            if (recovered)
                Q_EMIT writeRecovered();
            if (job.ticket)
                Q_EMIT committed(job.ticket, job.recordId);
            lock.lock();
            continue;
        }
        ++m_attempts;
        const bool firstFailure = !std::exchange(m_failing, true);
        m_settled.notify_all();
        lock.unlock();
        store.reset(); // the next try opens the file afresh: the folder may be mended or the disk freed
        if (firstFailure)
            Q_EMIT writeFailed(m_path, written.error());
        lock.lock();
        m_wake.wait_for(lock, m_retryInterval, [&] { return m_stopping; });
    }
    lock.unlock();
    store.reset();
}

} // namespace qt2xx
