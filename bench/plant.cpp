// Many benches claim units of the same orders from one throwaway PostgreSQL server on this machine,
// each bench with its own claims thread and connection and 16 slots, each unit told made as it is
// granted and its finished record reaching the server in batches as forwarding sends them. Two
// phases: every slot claims again as soon as it is answered, then the slots scan at a steady rate in
// total (a person's pace at each slot). Prints claims per second and claim latency (median, 99th
// percentile, maximum, from asking on the event thread to the answer there), and checks that no
// serial was granted twice and no order past its quantity. Prints figures only; it never fails on
// time.
//
// usage: bench-plant [BENCHES] [SECONDS] [CLAIMS_PER_SECOND]

#include "forward/ClaimClient.h"
#include "forward/ServerStore.h"
#include "support/PgCluster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <random>
#include <set>
#include <thread>
#include <vector>

using namespace qt2xx;
using namespace std::chrono_literals;

namespace {

constexpr int kSlots = 16;
constexpr int kBenchesPerOrder = 4;
constexpr int kQuantity = 2000;
constexpr int kSenders = 4;
constexpr auto kSendEvery = 200ms;

// Finished records on their way to the server, sent in batches by a few connections of their own.
class Senders {
public:
    explicit Senders(const ServerAddress& address) {
        for (int i = 0; i < kSenders; ++i)
            m_threads.emplace_back([this, address, i] { run(address, i); });
    }
    ~Senders() {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
    }

    void add(int sender, ProductionRecord record, OrderInfo order, QString host) {
        std::lock_guard lock(m_mutex);
        m_pending[sender].push_back({{0, std::move(record), std::move(host)}, std::move(order)});
    }
    int failures() const { return m_failures; }

private:
    struct Pending {
        ForwardOutbox::Record record;
        OrderInfo order;
    };

    void run(const ServerAddress& address, int sender) {
        ServerStore server(address);
        if (const Done opened = server.open(); !opened) {
            std::fprintf(stderr, "bench-plant: sender: %s\n", qPrintable(opened.error()));
            ++m_failures;
            return;
        }
        for (bool last = false; !last;) {
            last = m_stop;
            std::this_thread::sleep_for(kSendEvery);
            std::vector<Pending> batch;
            {
                std::lock_guard lock(m_mutex);
                batch.swap(m_pending[sender]);
            }
            // Orders in one order on every connection, so that their rows are always locked alike.
            std::sort(batch.begin(), batch.end(),
                      [](const Pending& a, const Pending& b) { return a.order.orderId < b.order.orderId; });
            std::map<QString, OrderInfo> orders;
            std::vector<ForwardOutbox::Record> records;
            for (Pending& p : batch) {
                orders.emplace(p.order.orderId, p.order);
                records.push_back(std::move(p.record));
            }
            std::vector<OrderInfo> orderList;
            for (auto& [id, order] : orders)
                orderList.push_back(order);
            if (records.empty())
                continue;
            if (const Done sent = server.send({}, orderList, records); !sent) {
                std::fprintf(stderr, "bench-plant: records not sent: %s\n", qPrintable(sent.error()));
                ++m_failures;
            }
        }
    }

    std::mutex m_mutex;
    std::map<int, std::vector<Pending>> m_pending;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_failures{0};
};

struct Figures {
    qint64 answered = 0, granted = 0, refused = 0, unanswered = 0;
    std::vector<qint64> latencyNs;
    double seconds = 0;
    std::set<QString> doubleGrants;
    std::map<QString, int> grantsPerOrder;
};

// One phase: fresh orders, one client per bench, slots asking until the time is up.
class Phase {
public:
    Phase(const ServerAddress& address, const QString& name, int benches, double perSecond)
        : m_address(address), m_perSecond(perSecond), m_senders(address) {
        for (int b = 0; b < benches; ++b) {
            const int orderIndex = b / kBenchesPerOrder;
            const ClaimTerms terms{QStringLiteral("%1-%2").arg(name).arg(orderIndex),
                                   QStringLiteral("QT2C 48 V"), QString(64, QLatin1Char('a')), kQuantity,
                                   QStringLiteral("S-\\d+")};
            const ClaimHolder holder{QStringLiteral("BENCH-%1").arg(b, 2, 10, QLatin1Char('0')),
                                     QStringLiteral("bench-host-%1").arg(b)};
            auto bench = std::make_unique<Bench>();
            bench->client = std::make_unique<ClaimClient>(address, terms, holder);
            bench->host = holder.host;
            bench->station = holder.station;
            // Benches of one order are handed overlapping runs of serials.
            bench->nextSerial = (b % kBenchesPerOrder) * kQuantity / kBenchesPerOrder;
            for (int s = 0; s < kSlots; ++s)
                bench->runs.push_back(QUuid::createUuid().toString(QUuid::WithoutBraces));
            Bench* raw = bench.get();
            QObject::connect(
                raw->client.get(), &ClaimClient::granted, raw->client.get(),
                [this, raw](quint64 ticket, const ClaimAnswer&) { answered(raw, ticket, true); });
            QObject::connect(raw->client.get(), &ClaimClient::refused, raw->client.get(),
                             [this, raw](quint64 ticket, const QString&) { answered(raw, ticket, false); });
            QObject::connect(raw->client.get(), &ClaimClient::unanswered, raw->client.get(),
                             [this, raw](quint64 ticket, const QString&) {
                                 ++m_figures.unanswered;
                                 answered(raw, ticket, false);
                             });
            m_benches.push_back(std::move(bench));
        }
    }

    Figures run(std::chrono::milliseconds length) {
        // Wakes the waits below, which sleep until something happens.
        QTimer heartbeat;
        heartbeat.start(20ms);
        int agreed = 0;
        for (auto& bench : m_benches) {
            QObject::connect(bench->client.get(), &ClaimClient::orderAgreed, bench->client.get(),
                             [&agreed] { ++agreed; });
            bench->client->start();
        }
        QElapsedTimer wait;
        wait.start();
        while (agreed < int(m_benches.size()) && wait.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_clock.start();
        m_end = std::chrono::duration_cast<std::chrono::nanoseconds>(length).count();
        std::mt19937 random(7);
        for (std::size_t b = 0; b < m_benches.size(); ++b)
            for (int s = 0; s < kSlots; ++s) {
                if (m_perSecond <= 0)
                    ask(m_benches[b].get(), s);
                else
                    m_due.push({qint64(std::uniform_real_distribution<double>(0, slotPeriodNs())(random)),
                                int(b), s});
            }
        QTimer pace;
        if (m_perSecond > 0) {
            QObject::connect(&pace, &QTimer::timeout, &pace, [this] { askDue(); });
            pace.setTimerType(Qt::PreciseTimer);
            pace.start(1ms);
        }
        while (m_clock.nsecsElapsed() < m_end || m_outstanding > 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (m_clock.nsecsElapsed() > m_end + 30'000'000'000LL)
                break;
        }
        m_figures.seconds = double(m_clock.nsecsElapsed()) / 1e9;
        pace.stop();
        for (auto& bench : m_benches)
            bench->client->shutdown(5s);
        return std::move(m_figures);
    }

    int senderFailures() const { return m_senders.failures(); }

private:
    struct Asked {
        int slot;
        QString serial;
        int unit;
        qint64 at;
    };
    struct Bench {
        std::unique_ptr<ClaimClient> client;
        QString host, station;
        int nextSerial = 0;
        std::vector<QString> runs;
        int units = 0;
        std::map<quint64, Asked> asked;
    };
    struct Due {
        qint64 at;
        int bench, slot;
        bool operator>(const Due& other) const { return at > other.at; }
    };

    double slotPeriodNs() const { return 1e9 * double(m_benches.size() * kSlots) / m_perSecond; }

    void ask(Bench* bench, int slot) {
        if (m_clock.nsecsElapsed() >= m_end)
            return;
        const QString serial =
            QStringLiteral("%1-S-%2").arg(bench->client->terms().orderId).arg(bench->nextSerial++);
        const int unit = ++bench->units;
        const quint64 ticket = bench->client->claim({serial, false, bench->runs[slot], unit});
        bench->asked.emplace(ticket, Asked{slot, serial, unit, m_clock.nsecsElapsed()});
        ++m_outstanding;
    }

    void askDue() {
        const qint64 now = m_clock.nsecsElapsed();
        while (!m_due.empty() && m_due.top().at <= now) {
            const Due due = m_due.top();
            m_due.pop();
            ask(m_benches[due.bench].get(), due.slot);
            m_due.push({due.at + qint64(slotPeriodNs()), due.bench, due.slot});
        }
    }

    void answered(Bench* bench, quint64 ticket, bool granted) {
        const auto it = bench->asked.find(ticket);
        if (it == bench->asked.end())
            return;
        const Asked asked = it->second;
        bench->asked.erase(it);
        --m_outstanding;
        m_figures.latencyNs.push_back(m_clock.nsecsElapsed() - asked.at);
        ++m_figures.answered;
        if (granted) {
            ++m_figures.granted;
            const ClaimTerms& terms = bench->client->terms();
            if (!m_granted.insert(asked.serial).second)
                m_figures.doubleGrants.insert(asked.serial);
            ++m_figures.grantsPerOrder[terms.orderId];
            // The unit is made at once: the server keeps its claim until the record arrives.
            bench->client->made(bench->runs[asked.slot], asked.unit);
            ProductionRecord record;
            record.recordId = QUuid::createUuid().toString(QUuid::WithoutBraces);
            record.recordedAt = QDateTime::currentDateTimeUtc();
            record.runId = bench->runs[asked.slot];
            record.unit = asked.unit;
            record.frame = QByteArray(32, '\0');
            record.orderId = terms.orderId;
            record.unitSerial = asked.serial;
            record.station = bench->station;
            m_senders.add(int(std::hash<QString>()(bench->host) % kSenders), record,
                          {terms.orderId, terms.product, terms.setSha256, terms.quantity, record.recordedAt},
                          bench->host);
        } else {
            ++m_figures.refused;
        }
        if (m_perSecond <= 0)
            ask(bench, asked.slot);
    }

    ServerAddress m_address;
    double m_perSecond;
    Senders m_senders;
    std::vector<std::unique_ptr<Bench>> m_benches;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
    std::set<QString> m_granted;
    QElapsedTimer m_clock;
    qint64 m_end = 0;
    qint64 m_outstanding = 0;
    Figures m_figures;
};

double percentileMs(std::vector<qint64> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, std::size_t(fraction * double(values.size())));
    return double(values[i]) / 1e6;
}

void print(const char* title, const Figures& f) {
    std::printf("%s\n", title);
    std::printf(
        "  claims answered %lld in %.1f s: %.0f claims/s (granted %lld, refused %lld, unanswered %lld)\n",
        f.answered, f.seconds, double(f.answered) / f.seconds, f.granted, f.refused, f.unanswered);
    std::printf("  claim latency: median %.1f ms, 99th percentile %.1f ms, max %.1f ms\n",
                percentileMs(f.latencyNs, 0.5), percentileMs(f.latencyNs, 0.99),
                percentileMs(f.latencyNs, 1.0));
    int over = 0;
    for (const auto& [order, grants] : f.grantsPerOrder)
        over += grants > kQuantity ? 1 : 0;
    std::printf("  serials granted twice: %zu; orders granted past their quantity: %d\n",
                f.doubleGrants.size(), over);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int benches = args.size() > 1 ? args.at(1).toInt() : 64;
    const int seconds = args.size() > 2 ? args.at(2).toInt() : 10;
    const double rate = args.size() > 3 ? args.at(3).toDouble() : 1000;

    test::PgCluster cluster;
    if (!cluster.isRunning() || !cluster.createDatabase(QStringLiteral("plant"))) {
        std::fprintf(stderr, "bench-plant: no server: %s\n", qPrintable(cluster.error()));
        return 3;
    }
    const Result<ServerAddress> address = ServerAddress::parse(cluster.url(QStringLiteral("plant")));
    if (!address) {
        std::fprintf(stderr, "bench-plant: %s\n", qPrintable(address.error()));
        return 2;
    }
    std::printf("%d benches x %d slots = %d slots, %d benches per order of %d units, %d s per phase\n",
                benches, kSlots, benches * kSlots, kBenchesPerOrder, kQuantity, seconds);
    Figures fast, paced;
    int failures = 0;
    {
        Phase phase(*address, QStringLiteral("FAST"), benches, 0);
        fast = phase.run(std::chrono::seconds(seconds));
        failures += phase.senderFailures();
    }
    {
        Phase phase(*address, QStringLiteral("PACED"), benches, rate);
        paced = phase.run(std::chrono::seconds(seconds));
        failures += phase.senderFailures();
    }
    print("as fast as they can (every slot asks again when answered):", fast);
    const QByteArray title = QStringLiteral("paced, %1 claims/s in total (each slot every %2 s):")
                                 .arg(rate)
                                 .arg(double(benches * kSlots) / rate, 0, 'f', 2)
                                 .toUtf8();
    print(title.constData(), paced);
    // The server's own view: no order counts more units than its quantity, no serial finished twice.
    const QString overServer =
        cluster
            .psql(QStringLiteral(
                      "SELECT count(*) FROM order_progress WHERE units_finished + units_claimed > quantity"),
                  QStringLiteral("plant"))
            .trimmed();
    const QString twice =
        cluster
            .psql(QStringLiteral("SELECT count(*) FROM (SELECT unit_serial FROM records WHERE "
                                 "result = 'finished' GROUP BY 1 HAVING count(*) > 1) t"),
                  QStringLiteral("plant"))
            .trimmed();
    const QString finished =
        cluster.psql(QStringLiteral("SELECT count(*) FROM records"), QStringLiteral("plant"));
    std::printf("server: %s records; orders past their quantity %s, serials finished twice %s; "
                "record batches not sent %d\n",
                qPrintable(finished), qPrintable(overServer), qPrintable(twice), failures);
    const bool held = fast.doubleGrants.empty() && paced.doubleGrants.empty() &&
                      overServer == QLatin1String("0") && twice == QLatin1String("0");
    std::printf("%s\n", held ? "quantity and uniqueness held" : "QUANTITY OR UNIQUENESS BROKEN");
    return held ? 0 : 1;
}
