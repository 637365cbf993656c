#pragma once

#include "forward/ServerAddress.h"
#include "platform/core/Result.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

namespace qt2xx {

class ServerStore;

// The order as its file releases it; the first bench that claims for it registers it on the server
// and every other bench must agree with it.
struct ClaimTerms {
    QString orderId;
    QString product;
    QString setSha256;
    int quantity = 0;
    QString serialPattern; // empty when the order has no serials
};

// Who holds claims: a station that starts again with the same name on the same host takes back its
// own.
struct ClaimHolder {
    QString station;
    QString host;
};

// One unit to be made: its serial (empty when the order has none) and the run and unit number its
// record will carry, which is how the record ends the claim.
struct ClaimRequest {
    QString serial;
    bool rework = false; // a serial with a finished record is to be made again on purpose
    QString runId;
    int unit = 0;
};

// The server's answer to a claim or an order check.
struct ClaimAnswer {
    enum class Verdict { Granted, TakenBack, Refused };
    Verdict verdict = Verdict::Refused;
    QString reason; // the sentence the operator reads, for a refusal
    int units = 0;  // the order's finished units and live claims, with this one when granted
    int quantity = 0;

    bool granted() const { return verdict != Verdict::Refused; }
};

// An order's progress in the whole plant.
struct OrderProgress {
    int finished = 0; // units with a finished record on the server
    int claimed = 0;  // live claims that count toward the quantity
    int quantity = 0;
    bool shared = false; // a bench has checked the order with the server, which then decides its units
};

// "312 / 500, this bench 120": the plant's finished units of the quantity, and a bench's own from
// its records; "312 / 500" without a bench.
QString PlantProgressText(const OrderProgress& plant, std::optional<int> benchFinished = std::nullopt);
// The order's progress as the server holds it, read without writing; zero figures for an order the
// server does not know.
Result<OrderProgress> ReadOrderProgress(const QSqlDatabase& db, const QString& order);

// What the operator reads when a claim is refused or the server cannot be asked.
QString SerialBeingMadeMessage(const QString& serial, const QString& station);
QString SerialFinishedMessage(const QString& serial, const QString& station, const QDateTime& at);
QString OrderCompleteMessage(const QString& order, int units, int quantity);
QString OrderDiffersMessage(const QString& order, const QString& field, const QString& fileValue,
                            const QString& serverValue);
QString ClaimsUnansweredMessage(const QString& server, const QString& reason);

// Plant-wide claims through one connection to the record server, used on the thread that opened it;
// each call is one transaction. The lease is how long a claim lives unless renewed.
class ClaimStore {
public:
    static constexpr std::chrono::milliseconds kLease{60000};

    ClaimStore(ServerAddress address, ClaimHolder holder, std::chrono::milliseconds lease = kLease);
    ~ClaimStore();
    ClaimStore(const ClaimStore&) = delete;
    ClaimStore& operator=(const ClaimStore&) = delete;

    // Connects, and makes or brings up to date the server's tables.
    Done open();
    bool isOpen() const;
    void close();
    QString server() const { return m_server; }

    // Registers the order when the server has none of that name, else compares the two.
    Result<ClaimAnswer> checkOrder(const ClaimTerms& terms);
    Result<ClaimAnswer> claim(const ClaimTerms& terms, const ClaimRequest& request);
    // Extends every live claim of this holder whose unit is still to be made by a lease; the number
    // extended.
    Result<int> renew();
    // Keeps the live claims this holder made before it started again for one more lease, to be
    // given to the next claims on the same serials (or, without serials, on the same order); the
    // number kept.
    Result<int> takeBack();
    // The unit will not be made here after all. A claim whose unit was made stays.
    Done release(const QString& runId, int unit);
    // The unit was made: its claim counts, without expiry, until the unit's record arrives. Nothing
    // happens when the record has ended the claim already.
    Done made(const QString& runId, int unit);
    // The order's progress; zero figures for an order the server does not know.
    Result<OrderProgress> progress(const QString& order);

private:
    Result<ClaimAnswer> ask(QSqlQuery& query, const QVariantList& values, const ClaimTerms& terms,
                            const QString& serial);
    // Runs a statement on one claim of this holder (its placeholders: the run, the unit, the
    // station, the host).
    Done onClaim(const QString& statement, const QString& runId, int unit);
    Done onClaim(QSqlQuery& query, const QString& runId, int unit);
    // Runs an update of this holder's live claims that gives them a lease from now (its placeholders:
    // the lease in milliseconds, the station, the host); the number updated.
    Result<int> leaseAgain(const QString& update);

    std::unique_ptr<ServerStore> m_store;
    // Prepared once per connection: a claim, or a unit made, is then one round trip.
    std::unique_ptr<QSqlQuery> m_claimQuery;
    std::unique_ptr<QSqlQuery> m_madeQuery;
    QString m_server;
    ClaimHolder m_holder;
    std::chrono::milliseconds m_lease;
};

} // namespace qt2xx
