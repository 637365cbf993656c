#include "forward/ClaimClient.h"

#include "platform/core/WorkerThread.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <deque>
#include <utility>

namespace qt2xx {

Result<OfflineRule> OfflineRuleFromName(const QString& name) {
    if (name.isEmpty() || name == OfflineRuleName(OfflineRule::Stop))
        return OfflineRule::Stop;
    if (name == OfflineRuleName(OfflineRule::Local))
        return OfflineRule::Local;
    return Fail(QStringLiteral("\"offline\" is \"stop\" or \"local\", not \"%1\"").arg(name));
}

QString OfflineRuleName(OfflineRule rule) {
    return rule == OfflineRule::Local ? QStringLiteral("local") : QStringLiteral("stop");
}

// Lives on the claims thread; the connection is made and used there.
class ClaimClient::Worker : public ClaimEvents {
    Q_OBJECT
public:
    Worker(std::shared_ptr<Shared> shared, ServerAddress server, ClaimTerms terms, ClaimHolder holder,
           Options options)
        : m_shared(std::move(shared)), m_terms(std::move(terms)), m_options(options),
          m_store(std::make_unique<ClaimStore>(std::move(server), std::move(holder), options.lease)) {
        m_renewTimer.setParent(this);
        m_retryTimer.setParent(this);
        m_retryTimer.setSingleShot(true);
        m_progressTimer.setParent(this);
        connect(&m_renewTimer, &QTimer::timeout, this, &Worker::renew);
        connect(&m_progressTimer, &QTimer::timeout, this, &Worker::readProgress);
        connect(&m_retryTimer, &QTimer::timeout, this, &Worker::retry);
    }

    void begin() {
        m_renewTimer.start(m_options.renewEvery);
        retry();
    }

    void claim(quint64 ticket, const ClaimRequest& request) {
        Result<ClaimAnswer> answer = askTwice([&] { return m_store->claim(m_terms, request); });
        if (!answer)
            return Q_EMIT unanswered(ticket, ClaimsUnansweredMessage(m_store->server(), answer.error()));
        if (answer->granted())
            Q_EMIT granted(ticket, *answer);
        else
            Q_EMIT refused(ticket, answer->reason);
    }

    void release(const QString& runId, int unit) {
        // A release that does not reach the server ends with the lease.
        (void)askTwice([&] { return m_store->release(runId, unit); });
    }

    void made(const QString& runId, int unit) {
        m_madeToTell.push_back({runId, unit});
        tellMade();
    }

    void finish() {
        m_renewTimer.stop();
        m_retryTimer.stop();
        m_progressTimer.stop();
        // The connection belongs to this thread: it goes here, not where the worker is deleted.
        m_store.reset();
        thread()->quit();
    }

private:
    // Asks on an open connection; a failure may be a connection the server dropped, or a deadlock
    // it broke, so the question goes once more on a new connection. Claims are safe to ask again:
    // the server knows a claim by its run and unit.
    template <typename Ask> auto askTwice(Ask ask) -> decltype(ask()) {
        for (int attempt = 0;; ++attempt) {
            if (!m_store->isOpen()) {
                if (Done opened = m_store->open(); !opened) {
                    away(opened.error());
                    return Fail(opened.error());
                }
            }
            auto result = ask();
            if (result) {
                back();
                return result;
            }
            m_store->close();
            if (attempt == 1) {
                away(result.error());
                return result;
            }
        }
    }

    void retry() {
        if (!m_tookBack) {
            const Result<int> taken = askTwice([&] { return m_store->takeBack(); });
            if (!taken)
                return;
            m_tookBack = true;
            Q_EMIT takenBack(*taken);
        }
        if (!m_orderChecked) {
            const Result<ClaimAnswer> checked = askTwice([&] { return m_store->checkOrder(m_terms); });
            if (!checked)
                return;
            m_orderChecked = true;
            if (checked->granted()) {
                Q_EMIT orderAgreed(checked->units, checked->quantity);
                m_progressTimer.start(m_options.progressEvery);
            } else {
                Q_EMIT orderRefused(checked->reason);
            }
        }
        if (m_shared->away)
            renew();
        tellMade();
        if (m_orderChecked)
            readProgress();
    }

    // In the order the units were made, until the server cannot be asked.
    void tellMade() {
        while (!m_madeToTell.empty()) {
            const auto& [runId, unit] = m_madeToTell.front();
            if (!askTwice([&] { return m_store->made(runId, unit); }))
                return;
            m_madeToTell.pop_front();
        }
    }

    void renew() {
        const Result<int> renewed = askTwice([&] { return m_store->renew(); });
        if (renewed)
            Q_EMIT this->renewed(*renewed);
    }

    // Also how a station that asks nothing finds out soon that the server went away; while it is
    // away, the retry finds out when it is back.
    void readProgress() {
        if (m_shared->away)
            return;
        const Result<OrderProgress> read = askTwice([&] { return m_store->progress(m_terms.orderId); });
        if (read)
            Q_EMIT progress(*read);
    }

    void away(const QString& reason) {
        m_retryTimer.start(m_options.retry);
        if (m_shared->away.exchange(true))
            return;
        Q_EMIT serverAway(ClaimsUnansweredMessage(m_store->server(), reason));
    }

    void back() {
        if (m_shared->away.exchange(false))
            Q_EMIT serverBack();
    }

    std::shared_ptr<Shared> m_shared;
    ClaimTerms m_terms;
    Options m_options;
    std::unique_ptr<ClaimStore> m_store; // reset on the claims thread, which owns its connection
    QTimer m_renewTimer;
    QTimer m_retryTimer;
    QTimer m_progressTimer;
    std::deque<std::pair<QString, int>> m_madeToTell; // run and unit of claims whose unit was made
    bool m_tookBack = false;
    bool m_orderChecked = false;
};

ClaimClient::ClaimClient(ServerAddress server, ClaimTerms terms, ClaimHolder holder, QObject* parent)
    : ClaimClient(std::move(server), std::move(terms), std::move(holder), Options{}, parent) {}

ClaimClient::ClaimClient(ServerAddress server, ClaimTerms terms, ClaimHolder holder, Options options,
                         QObject* parent)
    : ClaimEvents(parent), m_serverName(server.display()), m_terms(terms), m_thread(new QThread) {
    qRegisterMetaType<ClaimAnswer>();
    qRegisterMetaType<OrderProgress>();
    m_thread->setObjectName(QStringLiteral("claims"));
    m_worker = new Worker(m_shared, std::move(server), std::move(terms), std::move(holder), options);
    m_worker->moveToThread(m_thread);
    // Queued to this thread, and gone with this object: an abandoned request tells no one.
    connect(m_worker, &Worker::orderAgreed, this, &ClaimClient::orderAgreed);
    connect(m_worker, &Worker::orderRefused, this, &ClaimClient::orderRefused);
    connect(m_worker, &Worker::granted, this, &ClaimClient::granted);
    connect(m_worker, &Worker::refused, this, &ClaimClient::refused);
    connect(m_worker, &Worker::unanswered, this, &ClaimClient::unanswered);
    connect(m_worker, &Worker::takenBack, this, &ClaimClient::takenBack);
    connect(m_worker, &Worker::renewed, this, &ClaimClient::renewed);
    connect(m_worker, &Worker::serverAway, this, &ClaimClient::serverAway);
    connect(m_worker, &Worker::serverBack, this, &ClaimClient::serverBack);
    connect(m_worker, &Worker::progress, this, &ClaimClient::progress);
}

ClaimClient::~ClaimClient() {
    shutdown(kStopBudget);
}

void ClaimClient::start() {
    if (!m_thread || m_thread->isRunning())
        return;
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->begin(); }, Qt::QueuedConnection);
}

quint64 ClaimClient::claim(const ClaimRequest& request) {
    const quint64 ticket = ++m_tickets;
    if (m_worker)
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, ticket, request] { w->claim(ticket, request); }, Qt::QueuedConnection);
    return ticket;
}

void ClaimClient::release(const QString& runId, int unit) {
    if (m_worker)
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, runId, unit] { w->release(runId, unit); }, Qt::QueuedConnection);
}

void ClaimClient::made(const QString& runId, int unit) {
    if (m_worker)
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, runId, unit] { w->made(runId, unit); }, Qt::QueuedConnection);
}

bool ClaimClient::shutdown(std::chrono::milliseconds budget) {
    return StopWorkerThread(m_thread, m_worker, this, budget);
}

} // namespace qt2xx

#include "ClaimClient.moc"
