#include "forward/ClaimStore.h"

#include "forward/ClaimSchema.h"
#include "forward/ServerStore.h"
#include "record/SqlResult.h"

#include <QSqlError>
#include <QSqlQuery>

#include <optional>

namespace qt2xx {

QString SerialBeingMadeMessage(const QString& serial, const QString& station) {
    return QStringLiteral("%1 is being made at %2.").arg(serial, station);
}

QString SerialFinishedMessage(const QString& serial, const QString& station, const QDateTime& at) {
    return QStringLiteral("%1 already has a finished record (%2, %3).")
        .arg(serial, station, at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

QString OrderCompleteMessage(const QString& order, int units, int quantity) {
    return QStringLiteral("Order %1 is complete: %2 of %3 units finished or under way.")
        .arg(order)
        .arg(units)
        .arg(quantity);
}

QString OrderDiffersMessage(const QString& order, const QString& field, const QString& fileValue,
                            const QString& serverValue) {
    return QStringLiteral(
               "Order %1 is not the one the plant released: %2: the order file says %3, the server "
               "says %4.")
        .arg(order, field, fileValue.isEmpty() ? QStringLiteral("none") : fileValue,
             serverValue.isEmpty() ? QStringLiteral("none") : serverValue);
}

QString ClaimsUnansweredMessage(const QString& server, const QString& reason) {
    return QStringLiteral("Units cannot be claimed at %1: %2").arg(server, reason);
}

namespace {

// The operator's word for an order field the server compares, and the order file's value of it.
std::pair<QString, QString> orderField(const QString& column, const ClaimTerms& terms) {
    if (column == QLatin1String("product"))
        return {QStringLiteral("product"), terms.product};
    if (column == QLatin1String("set_sha256"))
        return {QStringLiteral("set hash"), terms.setSha256};
    if (column == QLatin1String("quantity"))
        return {QStringLiteral("quantity"), QString::number(terms.quantity)};
    return {QStringLiteral("serial pattern"), terms.serialPattern};
}

} // namespace

ClaimStore::ClaimStore(ServerAddress address, ClaimHolder holder, std::chrono::milliseconds lease)
    : m_server(address.display()), m_holder(std::move(holder)), m_lease(lease) {
    m_store = std::make_unique<ServerStore>(std::move(address));
}

ClaimStore::~ClaimStore() = default;

Done ClaimStore::open() {
    return m_store->open();
}

bool ClaimStore::isOpen() const {
    return m_store->isOpen();
}

void ClaimStore::close() {
    m_claimQuery.reset();
    m_madeQuery.reset();
    m_store->close();
}

namespace {

// An empty serial or pattern is '' on the server, never NULL, which no comparison would match.
QString text(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

QSqlQuery* prepared(QSqlQuery* query, const QString& function) {
    query->setForwardOnly(true);
    query->prepare(QStringLiteral("SELECT r_verdict, r_detail, r_holder, r_at, r_units, r_quantity FROM %1")
                       .arg(function));
    return query;
}

} // namespace

Result<ClaimAnswer> ClaimStore::checkOrder(const ClaimTerms& terms) {
    QSqlQuery query(m_store->database());
    return ask(
        *prepared(&query, QStringLiteral("claim_order(?, ?, ?, ?, ?)")),
        {terms.orderId, text(terms.product), terms.setSha256, terms.quantity, text(terms.serialPattern)},
        terms, {});
}

Result<ClaimAnswer> ClaimStore::claim(const ClaimTerms& terms, const ClaimRequest& request) {
    if (!m_claimQuery) {
        m_claimQuery = std::make_unique<QSqlQuery>(m_store->database());
        prepared(m_claimQuery.get(), QStringLiteral("claim_unit(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    }
    return ask(*m_claimQuery,
               {terms.orderId, text(terms.product), terms.setSha256, terms.quantity,
                text(terms.serialPattern), text(request.serial), request.rework, request.runId, request.unit,
                m_holder.station, m_holder.host, qint64(m_lease.count())},
               terms, request.serial);
}

Result<ClaimAnswer> ClaimStore::ask(QSqlQuery& query, const QVariantList& values, const ClaimTerms& terms,
                                    const QString& serial) {
    using namespace claim_schema;
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    const bool asked = query.exec() && query.next();
    if (!asked) {
        const Failure failure = SqlFailure(query.lastError());
        query.finish();
        return failure;
    }
    const QString verdict = query.value(0).toString();
    const QString detail = query.value(1).toString();
    const QString holder = query.value(2).toString();
    const QDateTime at = query.value(3).toDateTime();
    ClaimAnswer answer;
    answer.units = query.value(4).toInt();
    answer.quantity = query.value(5).toInt();
    query.finish();
    if (verdict == QLatin1String(kGranted) || verdict == QLatin1String(kAgreed)) {
        answer.verdict = ClaimAnswer::Verdict::Granted;
    } else if (verdict == QLatin1String(kTakenBack)) {
        answer.verdict = ClaimAnswer::Verdict::TakenBack;
    } else if (verdict == QLatin1String(kHeld)) {
        answer.reason = SerialBeingMadeMessage(serial, holder);
    } else if (verdict == QLatin1String(kFinished)) {
        answer.reason = SerialFinishedMessage(serial, holder, at);
    } else if (verdict == QLatin1String(kComplete)) {
        answer.reason = OrderCompleteMessage(terms.orderId, answer.units, answer.quantity);
    } else if (verdict == QLatin1String(kDiffers)) {
        const auto [field, fileValue] = orderField(detail, terms);
        answer.reason = OrderDiffersMessage(terms.orderId, field, fileValue, holder);
    } else {
        return Fail(QStringLiteral("the server answered a claim with \"%1\"").arg(verdict));
    }
    return answer;
}

Result<int> ClaimStore::renew() {
    return leaseAgain(
        QStringLiteral("UPDATE claims SET expires_at = now() + make_interval(secs => ? / 1000.0) "
                       "WHERE station = ? AND host = ? AND NOT adopted AND made_at IS NULL AND expires_at > "
                       "now()"));
}

Result<int> ClaimStore::takeBack() {
    return leaseAgain(
        QStringLiteral("UPDATE claims SET adopted = true, expires_at = now() + make_interval(secs => "
                       "? / 1000.0) WHERE station = ? AND host = ? AND made_at IS NULL AND expires_at > "
                       "now()"));
}

Result<int> ClaimStore::leaseAgain(const QString& update) {
    QSqlQuery query(m_store->database());
    query.prepare(update);
    query.addBindValue(qint64(m_lease.count()));
    query.addBindValue(m_holder.station);
    query.addBindValue(m_holder.host);
    if (!query.exec())
        return SqlFailure(query.lastError());
    return query.numRowsAffected();
}

Done ClaimStore::release(const QString& runId, int unit) {
    return onClaim(
        QStringLiteral("DELETE FROM claims WHERE run_id = ? AND unit = ? AND station = ? AND host = ? AND "
                       "made_at IS NULL"),
        runId, unit);
}

// A claim that expired but is still there is kept too: no other claim has taken its place, since
// a claim on the order or the serial first removes expired ones. Prepared once per connection, as
// every unit made is told.
Done ClaimStore::made(const QString& runId, int unit) {
    if (!m_madeQuery) {
        m_madeQuery = std::make_unique<QSqlQuery>(m_store->database());
        m_madeQuery->prepare(
            QStringLiteral("UPDATE claims SET made_at = now(), expires_at = 'infinity' WHERE run_id = ? AND "
                           "unit = ? AND station = ? AND host = ? AND made_at IS NULL"));
    }
    return onClaim(*m_madeQuery, runId, unit);
}

Done ClaimStore::onClaim(const QString& statement, const QString& runId, int unit) {
    QSqlQuery query(m_store->database());
    query.prepare(statement);
    return onClaim(query, runId, unit);
}

Done ClaimStore::onClaim(QSqlQuery& query, const QString& runId, int unit) {
    query.bindValue(0, runId);
    query.bindValue(1, unit);
    query.bindValue(2, m_holder.station);
    query.bindValue(3, m_holder.host);
    if (!query.exec())
        return SqlFailure(query.lastError());
    return {};
}

Result<OrderProgress> ClaimStore::progress(const QString& order) {
    return ReadOrderProgress(m_store->database(), order);
}

QString PlantProgressText(const OrderProgress& plant, std::optional<int> benchFinished) {
    QString text = QStringLiteral("%1 / %2").arg(plant.finished).arg(plant.quantity);
    if (benchFinished)
        text += QStringLiteral(", this bench %1").arg(*benchFinished);
    return text;
}

Result<OrderProgress> ReadOrderProgress(const QSqlDatabase& db, const QString& order) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT o.units_done, o.quantity, (SELECT count(*) FROM claims c WHERE c.work_order = o.work_order "
        "AND c.counts AND c.expires_at > now()), o.serial_pattern IS NOT NULL FROM orders o WHERE "
        "o.work_order = ?"));
    query.addBindValue(order);
    if (!query.exec())
        return SqlFailure(query.lastError());
    OrderProgress progress;
    if (query.next()) {
        progress.finished = query.value(0).toInt();
        progress.quantity = query.value(1).toInt();
        progress.claimed = query.value(2).toInt();
        progress.shared = query.value(3).toBool();
    }
    return progress;
}

} // namespace qt2xx
