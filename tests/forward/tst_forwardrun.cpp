// Four sequencers program against virtual controllers, each through its record writer into one
// database, while the records go to a real server that is stopped for 3 s in the middle of the run.

#include "forward/ForwardOutbox.h"
#include "forward/Forwarder.h"
#include "record/RecordStore.h"
#include "support/PgCluster.h"
#include "support/RecordedRig.h"
#include "support/ResultCheck.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kPorts = 4;
constexpr int kControllers = 120;
constexpr int kWaitMs = 60000;
constexpr std::chrono::milliseconds kOutage{3000};
// Attempts back off from a quarter of a second to one, so that several fail during the outage and
// the first after it finds the server.
constexpr Forwarder::Options kRetries{.firstRetry = std::chrono::milliseconds(250),
                                      .maxRetry = std::chrono::milliseconds(1000)};

} // namespace

class ForwardRunTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void outageMidRunLosesNothingAndPausesNoTick();
};

void ForwardRunTest::outageMidRunLosesNothingAndPausesNoTick() {
    PgCluster cluster;
    QVERIFY2(cluster.isRunning(), qPrintable(cluster.error()));
    QVERIFY(cluster.createDatabase(QStringLiteral("plant")));
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("bench.sqlite"));
    Forwarder forwarder(database, *ServerAddress::parse(cluster.url(QStringLiteral("plant"))), kRetries);
    QSignalSpy stopped(&forwarder, &Forwarder::stopped);
    QSignalSpy resumed(&forwarder, &Forwarder::resumed);

    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<RecordedRig>> rigs;
    std::vector<QElapsedTimer> sinceTick(kPorts);
    qint64 longestGap = 0;
    for (int i = 0; i < kPorts; ++i) {
        sims.push_back(std::make_unique<SimProcess>());
        QVERIFY(!sims.back()->device().isEmpty());
        rigs.push_back(std::make_unique<RecordedRig>(sims.back()->device(), database));
        connect(&rigs.back()->writer, &RecordWriter::committed, &forwarder, &Forwarder::wake);
        connect(&rigs.back()->window.timer, &QTimer::timeout, this, [&longestGap, &tick = sinceTick[i]] {
            if (tick.isValid())
                longestGap = std::max(longestGap, tick.restart());
            else
                tick.start();
        });
    }
    const auto finished = [&rigs] {
        int n = 0;
        for (const auto& rig : rigs)
            n += int(rig->outcomeLines().count(QStringLiteral("Finished")));
        return n;
    };
    forwarder.start();
    for (auto& rig : rigs)
        rig->sequencer.cmdFileSend_Click();

    // The server is stopped and started on another thread: the sequencers' thread never waits for it.
    QTRY_VERIFY_WITH_TIMEOUT(finished() >= kControllers / 4 && forwarder.waiting() == 0, kWaitMs);
    auto outage = std::async(std::launch::async, [&cluster] {
        const bool down = cluster.stop();
        std::this_thread::sleep_for(kOutage);
        return down && cluster.start();
    });
    while (outage.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(50);
    QVERIFY2(outage.get(), qPrintable(cluster.error()));
    const qint64 waitingAtReturn = [&database] {
        const auto store = Checked(RecordStore::open(database));
        const std::vector<ForwardStatus> status =
            store ? Checked(readForwardStatus(store->database())) : std::vector<ForwardStatus>();
        return status.empty() ? -1 : status.front().waiting;
    }();
    QElapsedTimer sinceBack;
    sinceBack.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished() >= kControllers, kWaitMs);
    const qint64 runEndMs = sinceBack.elapsed();
    for (auto& rig : rigs) {
        rig->sequencer.cmdFileSend_Click();
        QVERIFY(rig->writer.flush(std::chrono::milliseconds(kWaitMs)));
    }
    QVERIFY(forwarder.waitUntilSent(std::chrono::milliseconds(kWaitMs)));
    const qint64 allSentMs = sinceBack.elapsed();

    int outcomes = 0;
    for (const auto& rig : rigs)
        outcomes += int(rig->outcomeLines().size());
    QCOMPARE(cluster.psql(QStringLiteral("SELECT count(*), count(DISTINCT record_id), count(DISTINCT device) "
                                         "FROM records"),
                          QStringLiteral("plant")),
             QStringLiteral("%1|%1|%2").arg(outcomes).arg(kPorts));
    // Each run with its bench's host name and, once stopped, its stop time.
    QTRY_COMPARE_WITH_TIMEOUT(
        cluster.psql(QStringLiteral("SELECT count(*), count(stopped_at), min(host) FROM runs "
                                    "WHERE host = (SELECT min(host) FROM records)"),
                     QStringLiteral("plant")),
        QStringLiteral("%1|%1|%2").arg(kPorts).arg(QSysInfo::machineHostName()), kWaitMs);
    // Told on this thread, as it goes on.
    QTRY_COMPARE(resumed.count(), 1);
    QCOMPARE(stopped.count(), 1);
    qInfo("%d records over %d ports; %lld waiting when the server came back; after the server was back the "
          "run went on "
          "%lld ms and every record was on it after %lld ms; longest gap between two ticks of a port %lld ms",
          outcomes, kPorts, waitingAtReturn, runEndMs, allSentMs, longestGap);
}

QTEST_GUILESS_MAIN(ForwardRunTest)
#include "tst_forwardrun.moc"
