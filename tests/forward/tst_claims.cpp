#include "forward/ClaimClient.h"
#include "forward/ClaimStore.h"
#include "forward/ServerStore.h"
#include "support/PgCluster.h"
#include "support/RecordSample.h"
#include "support/ResultCheck.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <optional>

using namespace qt2xx;
using namespace qt2xx::test;
using namespace std::chrono_literals;

namespace {

const QString kPlant = QStringLiteral("plant");
const ClaimHolder kBenchA{QStringLiteral("BENCH-A"), QStringLiteral("host-a")};
const ClaimHolder kBenchB{QStringLiteral("BENCH-B"), QStringLiteral("host-b")};

ClaimTerms orderOfSix() {
    return {QStringLiteral("WO-1"), QStringLiteral("QT2C 48 V"), QString(64, QLatin1Char('a')), 6,
            QStringLiteral("QT2C-\\d{8}")};
}

QString serial(int n) {
    return QStringLiteral("QT2C-%1").arg(n, 8, 10, QLatin1Char('0'));
}

ServerAddress addressOf(const QString& url) {
    const Result<ServerAddress> address = ServerAddress::parse(url);
    if (!address)
        qFatal("%s", qPrintable(address.error()));
    return *address;
}

// One slot's unit on one bench: the claim it asks and the record that later ends it.
struct Unit {
    ClaimRequest request;
    ProductionRecord record(Outcome result, const ClaimHolder& holder) const {
        ProductionRecord r = MakeRecord(request.runId, request.unit, result,
                                        QDateTime(QDate(2026, 12, 8), QTime(13, 40), QTimeZone::utc()));
        r.orderId = orderOfSix().orderId;
        r.unitSerial = request.serial;
        r.station = holder.station;
        return r;
    }
};

Unit unitOf(const QString& serialText, int unit = 1) {
    return {{serialText, false, QUuid::createUuid().toString(QUuid::WithoutBraces), unit}};
}

} // namespace

class TestClaims : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void twoBenchesShareOneOrder();
    void orderThatDisagreesIsRefused_data();
    void orderThatDisagreesIsRefused();
    void leasesEndWithTheStationAndComeBackWithIt();
    void madeClaimsOutliveTheirLeaseUntilTheRecordArrives();

private:
    ClaimStore& bench(const ClaimHolder& holder, std::chrono::milliseconds lease = ClaimStore::kLease);
    // The record reaches the server as forwarding sends it.
    void forward(const ProductionRecord& record, const ClaimHolder& holder,
                 const ClaimTerms& terms = orderOfSix());
    QString progress(const QString& columns, const QString& order = QStringLiteral("WO-1"));

    std::optional<PgCluster> m_cluster;
    std::vector<std::unique_ptr<ClaimStore>> m_stores;
};

void TestClaims::initTestCase() {
    m_cluster.emplace();
    QVERIFY2(m_cluster->isRunning(), qPrintable(m_cluster->error()));
}

void TestClaims::init() {
    QVERIFY(m_cluster->createDatabase(kPlant));
}

void TestClaims::cleanup() {
    m_stores.clear();
    if (!m_cluster->isRunning())
        QVERIFY(m_cluster->start());
    m_cluster->psql(QStringLiteral("DROP DATABASE IF EXISTS plant WITH (FORCE)"));
}

ClaimStore& TestClaims::bench(const ClaimHolder& holder, std::chrono::milliseconds lease) {
    m_stores.push_back(std::make_unique<ClaimStore>(addressOf(m_cluster->url(kPlant)), holder, lease));
    const Done opened = m_stores.back()->open();
    if (!opened)
        qFatal("%s", qPrintable(opened.error()));
    return *m_stores.back();
}

void TestClaims::forward(const ProductionRecord& record, const ClaimHolder& holder, const ClaimTerms& terms) {
    ServerStore server(addressOf(m_cluster->url(kPlant)));
    QT2XX_VERIFY_OK(server.open());
    const OrderInfo order{terms.orderId, terms.product, terms.setSha256, terms.quantity, record.recordedAt};
    QT2XX_VERIFY_OK(server.send({}, {order}, {{1, record, holder.host}}));
}

QString TestClaims::progress(const QString& columns, const QString& order) {
    return m_cluster->psql(
        QStringLiteral("SELECT %1 FROM order_progress WHERE work_order = '%2'").arg(columns, order), kPlant);
}

// Bench A is handed serials 1 to 9 and bench B 4 to 12, scanned alternately: the order of 6 gives
// out 6 claims between them, no serial twice, and each refusal says why. Records then end claims:
// a finished one counts, a failed one frees its unit for any bench.
void TestClaims::twoBenchesShareOneOrder() {
    ClaimStore& a = bench(kBenchA);
    ClaimStore& b = bench(kBenchB);
    const ClaimTerms terms = orderOfSix();
    std::map<QString, Unit> granted; // by serial
    QStringList reasons;
    for (int i = 0; i < 9; ++i) {
        for (auto [store, n] : {std::pair{&a, 1 + i}, std::pair{&b, 4 + i}}) {
            const Unit unit = unitOf(serial(n), i + 1);
            const Result<ClaimAnswer> answer = store->claim(terms, unit.request);
            QVERIFY2(answer, qPrintable(answer.error()));
            if (answer->granted()) {
                QVERIFY2(!granted.count(serial(n)), qPrintable(serial(n)));
                granted.emplace(serial(n), unit);
            } else {
                reasons << answer->reason;
            }
        }
    }
    QCOMPARE(granted.size(), std::size_t(6));
    // A1, B4, A2, B5, A3, B6, then A4 is B's, and the order is full for everything after.
    QCOMPARE(QStringList(reasons.mid(0, 2)), QStringList({SerialBeingMadeMessage(serial(4), kBenchB.station),
                                                          OrderCompleteMessage(terms.orderId, 6, 6)}));
    QCOMPARE(reasons.size(), 12);
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed, remaining")), QStringLiteral("0|6|6"));

    forward(granted.at(serial(1)).record(Outcome::Finished, kBenchA), kBenchA);
    forward(granted.at(serial(2)).record(Outcome::TransmitFailure, kBenchA), kBenchA);
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed, remaining")), QStringLiteral("1|4|5"));

    Result<ClaimAnswer> answer = b.claim(terms, unitOf(serial(1), 20).request);
    QVERIFY(answer && !answer->granted());
    QCOMPARE(answer->reason,
             SerialFinishedMessage(serial(1), kBenchA.station,
                                   QDateTime(QDate(2026, 12, 8), QTime(13, 40), QTimeZone::utc())));
    // The failed unit may be tried at any bench, and takes the last free place.
    answer = b.claim(terms, unitOf(serial(2), 22).request);
    QVERIFY2(answer && answer->granted(), qPrintable(answer ? answer->reason : answer.error()));
    QCOMPARE(answer->units, 6);
    // A rework of a finished unit is no new unit: the full order does not stop it.
    answer = b.claim(terms, {serial(1), true, QUuid::createUuid().toString(), 21});
    QVERIFY2(answer && answer->verdict == ClaimAnswer::Verdict::Granted,
             qPrintable(answer ? answer->reason : answer.error()));
    answer = a.claim(terms, unitOf(serial(9), 23).request);
    QVERIFY(answer && !answer->granted());
    QCOMPARE(answer->reason, OrderCompleteMessage(terms.orderId, 6, 6));
    // A second finished record of one serial is still one unit.
    forward(granted.at(serial(1)).record(Outcome::Finished, kBenchA), kBenchA);
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed")), QStringLiteral("1|5"));
}

void TestClaims::orderThatDisagreesIsRefused_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("fileValue");
    QTest::addColumn<QString>("serverValue");
    QTest::newRow("quantity") << "quantity"
                              << "8"
                              << "6";
    QTest::newRow("product") << "product"
                             << "QT2C 72 V"
                             << "QT2C 48 V";
    QTest::newRow("set hash") << "set hash" << QString(64, QLatin1Char('b')) << QString(64, QLatin1Char('a'));
    QTest::newRow("serial pattern") << "serial pattern"
                                    << "S-\\d+"
                                    << "QT2C-\\d{8}";
    QTest::newRow("no serials where the plant has them") << "serial pattern"
                                                         << ""
                                                         << "QT2C-\\d{8}";
}

void TestClaims::orderThatDisagreesIsRefused() {
    QFETCH(QString, field);
    QFETCH(QString, fileValue);
    QFETCH(QString, serverValue);
    ClaimStore& a = bench(kBenchA);
    ClaimStore& b = bench(kBenchB);
    const Result<ClaimAnswer> registered = a.checkOrder(orderOfSix());
    QVERIFY(registered && registered->granted());
    ClaimTerms other = orderOfSix();
    if (field == QLatin1String("quantity"))
        other.quantity = fileValue.toInt();
    else if (field == QLatin1String("product"))
        other.product = fileValue;
    else if (field == QLatin1String("set hash"))
        other.setSha256 = fileValue;
    else
        other.serialPattern = fileValue;
    const QString expected = OrderDiffersMessage(other.orderId, field, fileValue, serverValue);
    for (const Result<ClaimAnswer>& answer :
         {b.checkOrder(other), b.claim(other, unitOf(serial(1)).request)}) {
        QVERIFY2(answer, qPrintable(answer.error()));
        QVERIFY(!answer->granted());
        QCOMPARE(answer->reason, expected);
    }
    QCOMPARE(progress(QStringLiteral("quantity, units_claimed")), QStringLiteral("6|0"));
}

// Through the client, on its own thread, with a lease of a second and a half: renewals keep a
// running station's claims, a station that stops renewing loses them within a lease, one that starts
// again takes back its own, and a server that goes away is reported and then found again.
void TestClaims::leasesEndWithTheStationAndComeBackWithIt() {
    constexpr auto kLease = 1500ms;
    const ClaimClient::Options options{kLease, 300ms, 300ms};
    const ServerAddress address = addressOf(m_cluster->url(kPlant));
    const ClaimTerms terms = orderOfSix();
    ClaimStore& other = bench(kBenchB, kLease);

    auto first = std::make_unique<ClaimClient>(address, terms, kBenchA, options);
    QSignalSpy agreed(first.get(), &ClaimClient::orderAgreed);
    QSignalSpy granted(first.get(), &ClaimClient::granted);
    first->start();
    QTRY_COMPARE_WITH_TIMEOUT(agreed.size(), 1, 10000);
    const quint64 one = first->claim(unitOf(serial(1), 1).request);
    const quint64 two = first->claim(unitOf(serial(2), 2).request);
    QTRY_COMPARE_WITH_TIMEOUT(granted.size(), 2, 10000);
    QCOMPARE(granted.at(0).at(0).value<quint64>(), one);
    QCOMPARE(granted.at(1).at(0).value<quint64>(), two);
    QTest::qWait(int(2 * kLease.count()));
    Result<ClaimAnswer> answer = other.claim(terms, unitOf(serial(1), 1).request);
    QVERIFY(answer && !answer->granted());
    QCOMPARE(answer->reason, SerialBeingMadeMessage(serial(1), kBenchA.station));

    // Killed: nothing renews any more. Started again at once, it takes both back for one lease.
    first->shutdown(5s);
    first.reset();
    ClaimClient second(address, terms, kBenchA, options);
    QSignalSpy takenBack(&second, &ClaimClient::takenBack);
    QSignalSpy secondGranted(&second, &ClaimClient::granted);
    second.start();
    QTRY_COMPARE_WITH_TIMEOUT(takenBack.size(), 1, 10000);
    QCOMPARE(takenBack.at(0).at(0).toInt(), 2);
    second.claim(unitOf(serial(2), 1).request);
    QTRY_COMPARE_WITH_TIMEOUT(secondGranted.size(), 1, 10000);
    QCOMPARE(secondGranted.at(0).at(1).value<ClaimAnswer>().verdict, ClaimAnswer::Verdict::TakenBack);
    // Serial 1 was not asked for again: its claim ends with the lease and another bench makes it.
    QTest::qWait(int(kLease.count()) + 500);
    answer = other.claim(terms, unitOf(serial(1), 2).request);
    QVERIFY2(answer && answer->granted(), qPrintable(answer ? answer->reason : answer.error()));
    answer = other.claim(terms, unitOf(serial(2), 3).request);
    QVERIFY(answer && !answer->granted());
    QCOMPARE(answer->reason, SerialBeingMadeMessage(serial(2), kBenchA.station));

    // The server away: a claim is unanswered, the client says so once and finds the server again.
    QSignalSpy away(&second, &ClaimClient::serverAway);
    QSignalSpy back(&second, &ClaimClient::serverBack);
    QSignalSpy unanswered(&second, &ClaimClient::unanswered);
    QVERIFY(m_cluster->stop());
    second.claim(unitOf(serial(3), 2).request);
    QTRY_COMPARE_WITH_TIMEOUT(unanswered.size(), 1, 10000);
    QCOMPARE(away.size(), 1);
    QVERIFY(second.isAway());
    QVERIFY2(away.at(0).at(0).toString().startsWith(ClaimsUnansweredMessage(address.display(), {})),
             qPrintable(away.at(0).at(0).toString()));
    QVERIFY(m_cluster->start());
    QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 10000);
    second.claim(unitOf(serial(3), 2).request);
    QTRY_COMPARE_WITH_TIMEOUT(secondGranted.size(), 2, 10000);
    QCOMPARE(away.size(), 1);
}

// On a server of the previous version, brought up to this one by the next bench that connects: a
// unit told made keeps its claim past the lease, counting toward the quantity, whatever its station
// does, until its record arrives and counts it instead. Without serials the record ends the
// station's made claim rather than its oldest. Told while the server is away, it is told once the
// server answers again.
void TestClaims::madeClaimsOutliveTheirLeaseUntilTheRecordArrives() {
    constexpr auto kLease = 1000ms;
    bench(kBenchB);
    const QString made =
        QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE table_name = 'claims' AND "
                       "column_name = 'made_at'");
    m_cluster->psql(QStringLiteral("ALTER TABLE claims DROP COLUMN made_at; DELETE FROM record_schema WHERE "
                                   "version = (SELECT max(version) FROM record_schema)"),
                    kPlant);
    QCOMPARE(m_cluster->psql(made, kPlant), QStringLiteral("0"));
    ClaimStore& a = bench(kBenchA, kLease);
    ClaimStore& b = bench(kBenchB, kLease);
    QCOMPARE(m_cluster->psql(made, kPlant), QStringLiteral("1"));

    const ClaimTerms terms = orderOfSix();
    const Unit one = unitOf(serial(1), 1);
    const Unit two = unitOf(serial(2), 2);
    for (const Unit& unit : {one, two})
        QVERIFY(Checked(a.claim(terms, unit.request)).granted());
    QT2XX_VERIFY_OK(a.made(one.request.runId, one.request.unit));
    // Renewed, released or not, the made claim stays; the other lives out its lease.
    QCOMPARE(Checked(a.renew()), 1);
    QT2XX_VERIFY_OK(a.release(one.request.runId, one.request.unit));
    QTest::qWait(int(kLease.count()) + 500);
    QCOMPARE(Checked(a.takeBack()), 0);
    Result<ClaimAnswer> answer = b.claim(terms, unitOf(serial(1), 3).request);
    QVERIFY(answer && !answer->granted());
    QVERIFY2(
        answer->reason.startsWith(serial(1) + QStringLiteral(" already has a finished record (BENCH-A, ")),
        qPrintable(answer->reason));
    for (int n = 2; n <= 6; ++n)
        QVERIFY(Checked(b.claim(terms, unitOf(serial(n), 10 + n).request)).granted());
    answer = b.claim(terms, unitOf(serial(7), 17).request);
    QVERIFY(answer && !answer->granted());
    QCOMPARE(answer->reason, OrderCompleteMessage(terms.orderId, 6, 6));
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed")), QStringLiteral("0|6"));
    forward(one.record(Outcome::Finished, kBenchA), kBenchA);
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed")), QStringLiteral("1|5"));
    QCOMPARE(Checked(a.progress(terms.orderId)).finished, 1);
    answer = b.claim(terms, unitOf(serial(8), 18).request);
    QVERIFY(answer && !answer->granted());
    QCOMPARE(answer->reason, OrderCompleteMessage(terms.orderId, 6, 6));

    // Without serials, the record names a run of its port, not the claim's.
    ClaimTerms plain = terms;
    plain.orderId = QStringLiteral("WO-2");
    plain.serialPattern.clear();
    const Unit older = unitOf(QString(), 1);
    const Unit finished = unitOf(QString(), 2);
    for (const Unit& unit : {older, finished})
        QVERIFY(Checked(a.claim(plain, unit.request)).granted());
    QT2XX_VERIFY_OK(a.made(finished.request.runId, finished.request.unit));
    ProductionRecord record = unitOf(QString(), 1).record(Outcome::Finished, kBenchA);
    record.orderId = plain.orderId;
    forward(record, kBenchA, plain);
    QTest::qWait(int(kLease.count()) + 500);
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed"), plain.orderId), QStringLiteral("1|0"));

    const ClaimClient::Options options{kLease, 300ms, 300ms};
    const ServerAddress address = addressOf(m_cluster->url(kPlant));
    ClaimClient client(address, plain, kBenchA, options);
    QSignalSpy agreed(&client, &ClaimClient::orderAgreed);
    QSignalSpy granted(&client, &ClaimClient::granted);
    QSignalSpy away(&client, &ClaimClient::serverAway);
    QSignalSpy back(&client, &ClaimClient::serverBack);
    client.start();
    QTRY_COMPARE_WITH_TIMEOUT(agreed.size(), 1, 10000);
    const Unit away1 = unitOf(QString(), 1);
    client.claim(away1.request);
    QTRY_COMPARE_WITH_TIMEOUT(granted.size(), 1, 10000);
    m_stores.clear();
    QVERIFY(m_cluster->stop());
    client.made(away1.request.runId, away1.request.unit);
    QTRY_COMPARE_WITH_TIMEOUT(away.size(), 1, 10000);
    QVERIFY(m_cluster->start());
    QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(
        m_cluster->psql(QStringLiteral("SELECT count(*) FROM claims WHERE made_at IS NOT NULL"), kPlant),
        QStringLiteral("1"), 10000);
    client.shutdown(5s);
    QTest::qWait(int(kLease.count()) + 500);
    QCOMPARE(progress(QStringLiteral("units_finished, units_claimed"), plain.orderId), QStringLiteral("1|1"));
}

QTEST_GUILESS_MAIN(TestClaims)
#include "tst_claims.moc"
