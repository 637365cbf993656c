#include "report/LabelPrinter.h"

#include "record/LabelQueue.h"
#include "record/RecordStore.h"
#include "report/LabelOutput.h"

#include <QThread>
#include <QUuid>

#include <memory>
#include <optional>

namespace qt2xx {

LabelPrinter::LabelPrinter(QString databasePath, LabelAddress printer, LabelTemplate zpl, QObject* parent)
    : LabelPrinter(std::move(databasePath), std::move(printer), std::move(zpl), Timing{}, parent) {}

LabelPrinter::LabelPrinter(QString databasePath, LabelAddress printer, LabelTemplate zpl, Timing timing,
                           QObject* parent)
    : QObject(parent), m_path(std::move(databasePath)), m_printer(std::move(printer)), m_zpl(std::move(zpl)),
      m_timing(timing) {
    m_thread = QThread::create([this] { work(); });
    m_thread->start();
}

LabelPrinter::~LabelPrinter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
}

void LabelPrinter::nudge() {
    {
        std::lock_guard lock(m_mutex);
        m_nudged = true;
    }
    m_wake.notify_all();
}

bool LabelPrinter::stopping() const {
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

void LabelPrinter::pause(std::chrono::milliseconds time, bool nudgeEnds) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, time, [&] { return m_stopping || (nudgeEnds && m_nudged); });
    m_nudged = false;
}

void LabelPrinter::work() {
    const QString claimer = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString& printer = m_printer.text;
    std::unique_ptr<RecordStore> store;
    std::optional<LabelJob> unmarked; // sent, not yet marked printed
    QDateTime sentAt;
    std::chrono::milliseconds backoff = m_timing.firstBackoff;
    // The database could not be used: open it afresh after a while.
    auto databaseTrouble = [&](const QString& reason) {
        store.reset();
        Q_EMIT labelWaiting(-1, QStringLiteral("the record database cannot be read: %1").arg(reason));
        pause(m_timing.maxBackoff, false);
    };
    while (!stopping()) {
        if (!store) {
            Result<std::unique_ptr<RecordStore>> opened = RecordStore::open(m_path);
            if (!opened) {
                databaseTrouble(opened.error());
                continue;
            }
            store = std::move(opened).value();
        }
        LabelQueue queue(store->database());
        if (unmarked) {
            const Done marked = queue.markPrinted(*unmarked, printer, sentAt);
            if (!marked) {
                databaseTrouble(marked.error());
                continue;
            }
            const Result<qint64> waiting = queue.count(printer, LabelState::Waiting);
            Q_EMIT labelPrinted(unmarked->record.recordId, unmarked->record.unitSerial,
                                waiting ? *waiting : -1);
            unmarked.reset();
            continue;
        }
        Result<std::optional<LabelJob>> claimed = queue.claimOldest(printer, claimer);
        if (!claimed) {
            databaseTrouble(claimed.error());
            continue;
        }
        if (!claimed->has_value()) {
            pause(m_timing.idlePoll, true);
            continue;
        }
        const LabelJob job = std::move(**claimed);
        const Done sent = SendLabel(m_printer, m_zpl, LabelFields::FromRecord(job.record, job.product),
                                    m_timing.sendTimeout);
        if (sent) {
            unmarked = job;
            sentAt = QDateTime::currentDateTimeUtc();
            backoff = m_timing.firstBackoff;
            continue;
        }
        // Not sent: the job goes back to the front and the printer gets a rest.
        while (!queue.release(job.job, sent.error()) && !stopping())
            pause(m_timing.firstBackoff, false);
        const Result<qint64> waiting = queue.count(printer, LabelState::Waiting);
        Q_EMIT labelWaiting(waiting ? *waiting : -1, sent.error());
        pause(backoff, false);
        backoff = std::min(backoff * 2, m_timing.maxBackoff);
    }
    // A label sent just before the stop is marked now: left sending, it would never be logged.
    if (!unmarked || !store)
        return;
    LabelQueue queue(store->database());
    if (!queue.markPrinted(*unmarked, printer, sentAt))
        return;
    const Result<qint64> waiting = queue.count(printer, LabelState::Waiting);
    Q_EMIT labelPrinted(unmarked->record.recordId, unmarked->record.unitSerial, waiting ? *waiting : -1);
}

Done PrintLabelAgain(RecordStore& store, const QString& serial, const QString& order,
                     const LabelAddress& printer, const LabelTemplate& zpl, const QString& operatorId,
                     const QString& station, std::chrono::milliseconds timeout) {
    LabelQueue queue(store.database());
    const Result<std::optional<LabelJob>> found = queue.latestFinished(serial, order);
    if (!found)
        return Fail(found.error());
    if (!found->has_value())
        return Fail(
            order.isEmpty()
                ? QStringLiteral("no finished record of the unit %1").arg(serial)
                : QStringLiteral("no finished record of the unit %1 for the order %2").arg(serial, order));
    const LabelJob& job = **found;
    const Done sent = SendLabel(printer, zpl, LabelFields::FromRecord(job.record, job.product), timeout);
    if (!sent)
        return sent;
    return queue.logPrint(
        {job.record.recordId, QDateTime::currentDateTimeUtc(), printer.text, operatorId, station, true});
}

} // namespace qt2xx
