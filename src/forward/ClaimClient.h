#pragma once

#include "forward/ClaimStore.h"
#include "platform/core/Result.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>

namespace qt2xx {

// What a station does while the server cannot be asked, as its order says: "stop" arms no slot
// until the server answers again; "local" goes on by the bench's own database.
enum class OfflineRule { Stop, Local };
// The rule an order's "offline" value names; an empty value is the default, "stop".
Result<OfflineRule> OfflineRuleFromName(const QString& name);
QString OfflineRuleName(OfflineRule rule);

// What the claims thread tells: its worker emits these, and the client passes each on, queued, to the
// thread that owns it.
class ClaimEvents : public QObject {
    Q_OBJECT
public:
    explicit ClaimEvents(QObject* parent = nullptr) : QObject(parent) {}

Q_SIGNALS:
    void orderAgreed(int units, int quantity);
    void orderRefused(const QString& reason);
    void granted(quint64 ticket, const ClaimAnswer& answer);
    void refused(quint64 ticket, const QString& reason);
    void unanswered(quint64 ticket, const QString& reason);
    void takenBack(int claims);
    void renewed(int claims);
    void serverAway(const QString& reason);
    void serverBack();
    // The order's progress in the plant, read once the order is agreed and then now and then.
    void progress(const qt2xx::OrderProgress& progress);
};

// Asks the record server for plant-wide claims from a thread of its own, with a connection of its
// own, and answers through queued signals: nothing here waits on the caller's thread. Requests are
// asked in the order they were made. While the station runs, its live claims are renewed well
// within their lease, so a station that is killed frees them within one lease; a station that
// starts again takes back the claims it held (same station name, same host). The owner hears once
// when the server cannot be asked and once when it answers again; a request made meanwhile is
// tried once and answered "unanswered".
class ClaimClient : public ClaimEvents {
    Q_OBJECT
public:
    struct Options {
        std::chrono::milliseconds lease = ClaimStore::kLease;
        std::chrono::milliseconds renewEvery{20000};   // a third of the lease: two renewals may fail
        std::chrono::milliseconds retry{2000};         // asks again this often while the server is away
        std::chrono::milliseconds progressEvery{2000}; // reads the order's progress this often
    };

    // How long stopping waits for a request under way, as the destructor does.
    static constexpr std::chrono::milliseconds kStopBudget{500};

    ClaimClient(ServerAddress server, ClaimTerms terms, ClaimHolder holder, QObject* parent = nullptr);
    ClaimClient(ServerAddress server, ClaimTerms terms, ClaimHolder holder, Options options,
                QObject* parent = nullptr);
    ~ClaimClient() override;

    QString server() const { return m_serverName; }
    const ClaimTerms& terms() const { return m_terms; }

    // Connects, takes back this holder's claims, then checks the order: orderAgreed or orderRefused.
    void start();
    // Asks for a claim; the answer (granted, refused or unanswered) carries the ticket returned.
    quint64 claim(const ClaimRequest& request);
    void release(const QString& runId, int unit);
    // The claim's unit was made: the server keeps the claim until the unit's record arrives. Told
    // while the server is away, it is told again once the server answers, while this client lives.
    void made(const QString& runId, int unit);
    // Between serverAway and the next serverBack.
    bool isAway() const { return m_shared->away.load(); }
    // Stops renewing within budget, whatever the server does; the claims then live out their lease.
    bool shutdown(std::chrono::milliseconds budget);

private:
    class Worker;
    struct Shared {
        std::atomic<bool> away{false};
    };

    QString m_serverName;
    ClaimTerms m_terms;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::atomic<quint64> m_tickets{0};
    QThread* m_thread = nullptr; // both null once stopped
    Worker* m_worker = nullptr;
};

} // namespace qt2xx

Q_DECLARE_METATYPE(qt2xx::ClaimAnswer)
Q_DECLARE_METATYPE(qt2xx::OrderProgress)
