// qt2xx-station as a script runs it: simulators on pseudo-terminals, JSON lines on stdout read one
// by one, exit statuses as documented.
#include "record/RecordStore.h"
#include "support/BuildPaths.h"
#include "support/OrderFile.h"
#include "support/PgCluster.h"
#include "support/Pty.h"
#include "support/ResultCheck.h"
#include "support/SimProcess.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>

namespace {

using Controller = qt2xx::test::SimProcess;

constexpr int kWait = 30000;
const QString kStation = qt2xx::test::ProgramPath(u"qt2xx-station");
const QString kFrameTool = qt2xx::test::ProgramPath(u"qt2xx-frame");
const QString kRecordsTool = qt2xx::test::ProgramPath(u"qt2xx-records");
const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");

// The station with its JSON lines parsed as they come.
class Station {
public:
    // input, when given, is all of standard input, closed after it; else scan() writes to it.
    explicit Station(const QStringList& arguments, const std::optional<QByteArray>& input = std::nullopt,
                     const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        const bool recording = !arguments.filter(QStringLiteral("--record=")).isEmpty();
        m_process.setProcessEnvironment(environment);
        m_process.start(kStation,
                        (recording ? QStringList() : QStringList{QStringLiteral("--no-record")}) + arguments);
        if (input) {
            m_process.write(*input);
            m_process.closeWriteChannel();
        }
    }
    ~Station() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QList<QJsonObject> events() {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine();
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject())
                m_bad << line;
            else
                m_events << document.object();
        }
        return m_events;
    }
    // Events of one kind, optionally on one device.
    QList<QJsonObject> events(const QString& kind, const QString& device = {}) {
        QList<QJsonObject> found;
        for (const QJsonObject& e : events()) {
            if (e[QStringLiteral("event")].toString() == kind &&
                (device.isEmpty() || e[QStringLiteral("device")].toString() == device))
                found << e;
        }
        return found;
    }
    bool finish() {
        if (m_process.waitForFinished(kWait) && m_process.exitStatus() == QProcess::NormalExit)
            return true;
        for (const QJsonObject& e : events())
            fprintf(stderr, "%s\n", QJsonDocument(e).toJson(QJsonDocument::Compact).constData());
        fprintf(stderr, "%s\n%s\n", qPrintable(m_process.arguments().join(' ')), qPrintable(errors()));
        return false;
    }
    int exitCode() const { return m_process.exitCode(); }
    void scan(const QByteArray& serial) { m_process.write(serial + '\n'); }
    void endInput() { m_process.closeWriteChannel(); }
    // Waits until count events of a kind have come, optionally on one device.
    bool waitFor(const QString& kind, qsizetype count, const QString& device = {}) {
        QElapsedTimer waited;
        waited.start();
        while (events(kind, device).size() < count) {
            if (waited.elapsed() > kWait || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(100);
        }
        return true;
    }
    // The last few events as text, to tell why a run ended as it did.
    QString lastEvents() {
        QString text;
        for (const QJsonObject& e : events().mid(std::max<qsizetype>(0, events().size() - 8)))
            text += QString::fromUtf8(QJsonDocument(e).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
        return text;
    }
    QString errors() {
        m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_errors;
    }
    QList<QByteArray> badLines() const { return m_bad; }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }

private:
    QProcess m_process;
    QList<QJsonObject> m_events;
    QList<QByteArray> m_bad;
    QString m_errors;
};

QString frameHex() {
    QProcess tool;
    tool.start(kFrameTool, {kSetFile});
    tool.waitForFinished(kWait);
    return QString::fromLatin1(tool.readAllStandardOutput().trimmed());
}

} // namespace

class TestStationTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programsTheCountOverFourPorts();
    void oneFailingPortLeavesTheOthers_data();
    void oneFailingPortLeavesTheOthers();
    void pulledAdapterComesBackWhileTheOtherProgrammes();
    void interruptStopsMidExchange();
    void refusals_data();
    void refusals();
    void portThatCannotOpenIsSkipped();
    void failingRecordsHoldTheProgramming();
    void recordServerGetsEveryRecordOnce();
    void orderArmsOnePortPerScan();
    void orderReachesItsQuantityAcrossRuns();
    void scanRefusals_data();
    void scanRefusals();
    void orderWithAnotherSetTouchesNoPort();
    void unitLeftInItsSlotTakesNoSecondSerial();
    void swappedUnitsTakeOneSerialEachInTurn();
    void benchesShareAnOrderThroughClaims();
};

// Every simulator stores exactly the file's frame, the count is met without a controller too many,
// the record holds a finished row for each, and every line is one JSON object.
void TestStationTool::programsTheCountOverFourPorts() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    std::vector<std::unique_ptr<Controller>> sims;
    QStringList args{QStringLiteral("--count"), QStringLiteral("40"), QStringLiteral("--record=") + database,
                     kSetFile};
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<Controller>());
        args << sims.back()->device();
    }
    Station station(args);
    QVERIFY(station.finish());
    QVERIFY2(station.exitCode() == 0, qPrintable(station.errors() + station.lastEvents()));
    QVERIFY(station.badLines().isEmpty());

    const QString frame = frameHex();
    const QList<QJsonObject> finished = station.events(QStringLiteral("finished"));
    QCOMPARE(finished.size(), 40);
    int programmed = 0;
    for (auto& sim : sims) {
        sim->terminate();
        const QStringList lines = sim->programmed();
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines)
            QCOMPARE(line, frame);
        programmed += int(lines.size());
        const auto mine = station.events(QStringLiteral("finished"), sim->device());
        QCOMPARE(mine.size(), lines.size());
        QCOMPARE(mine.last()[QStringLiteral("unit")].toInt(), int(lines.size()));
    }
    QCOMPARE(programmed, 40);
    for (const QJsonObject& e : finished)
        QCOMPARE(e[QStringLiteral("frame")].toString(), QString(frame).remove(QLatin1Char(' ')));
    QCOMPARE(station.events(QStringLiteral("stopped")).size(), 4);
    const QJsonObject summary = station.events().last();
    QCOMPARE(summary[QStringLiteral("event")].toString(), QStringLiteral("summary"));
    QCOMPARE(summary[QStringLiteral("finished")].toInt(), 40);

    const auto store =
        qt2xx::test::Checked(qt2xx::RecordStore::open(database, qt2xx::RecordStore::OpenMode::MustExist));
    QVERIFY(store);
    const auto records = qt2xx::test::Checked(store->records({}));
    QCOMPARE(records.size(), size_t(40));
    for (const auto& record : records) {
        QCOMPARE(record.result, qt2xx::Outcome::Finished);
        QCOMPARE(record.parameterFile, QFileInfo(kSetFile).absoluteFilePath());
        QCOMPARE(QString::fromLatin1(record.frame.toHex().toUpper()),
                 QString(frame).remove(QLatin1Char(' ')));
    }
}

void TestStationTool::oneFailingPortLeavesTheOthers_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("event");
    QTest::newRow("rejected frame") << "--reject-frame"
                                    << "transmit-failure";
    QTest::newRow("rejected store") << "--reject-store"
                                    << "storage-failure";
    QTest::newRow("silent after the frame") << "--silent-after-frame"
                                            << "no-response";
    QTest::newRow("silent after acceptance") << "--silent-after-accept"
                                             << "no-storage-response";
}

// The failing port's outcomes are its own; the good ports make the count and the exit status says a
// controller failed.
void TestStationTool::oneFailingPortLeavesTheOthers() {
    QFETCH(QString, mode);
    QFETCH(QString, event);
    Controller good1, good2, bad({mode});
    Station station({QStringLiteral("--count"), QStringLiteral("8"), kSetFile, good1.device(), bad.device(),
                     good2.device()});
    QVERIFY(station.finish());
    QCOMPARE(station.exitCode(), 1);
    QVERIFY(!station.events(event, bad.device()).isEmpty());
    QVERIFY(station.events(QStringLiteral("finished"), bad.device()).isEmpty());
    QCOMPARE(station.events(QStringLiteral("finished")).size(), 8);
    good1.terminate();
    good2.terminate();
    QCOMPARE(good1.programmed().size() + good2.programmed().size(), 8);
    QCOMPARE(station.events(event).size(), station.events(event, bad.device()).size());
}

// The slot's device is a link the test points at whichever simulator is plugged in.
void TestStationTool::pulledAdapterComesBackWhileTheOtherProgrammes() {
    QTemporaryDir dir;
    const QString slot = dir.filePath(QStringLiteral("slot1"));
    auto first = std::make_unique<Controller>();
    Controller other;
    QVERIFY(QFile::link(first->device(), slot));
    Station station({kSetFile, slot, other.device()});
    QTRY_VERIFY_WITH_TIMEOUT(!station.events(QStringLiteral("finished"), slot).isEmpty(), kWait);

    first->kill();
    QTRY_COMPARE_WITH_TIMEOUT(station.events(QStringLiteral("lost"), slot).size(), 1, kWait);
    const qsizetype otherBefore = station.events(QStringLiteral("finished"), other.device()).size();
    QTRY_VERIFY_WITH_TIMEOUT(
        station.events(QStringLiteral("finished"), other.device()).size() >= otherBefore + 2, kWait);

    Controller second;
    QFile::remove(slot);
    QVERIFY(QFile::link(second.device(), slot));
    QTRY_COMPARE_WITH_TIMEOUT(station.events(QStringLiteral("back"), slot).size(), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!second.programmed().isEmpty(), kWait);
    QVERIFY(station.events(QStringLiteral("lost"), other.device()).isEmpty());
    station.signal(SIGTERM);
    QVERIFY(station.finish());
    QCOMPARE(station.events().last()[QStringLiteral("event")].toString(), QStringLiteral("summary"));
}

// A unit under way when the operator interrupts is cut short, told as such, and fails the exit status.
void TestStationTool::interruptStopsMidExchange() {
    Controller slow({QStringLiteral("--answer-delay"), QStringLiteral("60")});
    Station station({kSetFile, slow.device()});
    QTRY_VERIFY_WITH_TIMEOUT(!station.events(QStringLiteral("started")).isEmpty(), kWait);
    station.signal(SIGINT);
    QVERIFY(station.finish());
    QCOMPARE(station.exitCode(), 1);
    QStringList tail;
    for (const QJsonObject& e : station.events().mid(station.events().size() - 3))
        tail << e[QStringLiteral("event")].toString();
    QCOMPARE(tail, (QStringList{QStringLiteral("interrupted"), QStringLiteral("stopped"),
                                QStringLiteral("summary")}));
}

void TestStationTool::refusals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString refused = qt2xx::test::TestDataPath(u"station/no-frame.asv");
    QTest::newRow("set without a frame") << QStringList{refused, QStringLiteral("/dev/null")} << 2 << "";
    QTest::newRow("incomplete set") << QStringList{qt2xx::test::TestDataPath(u"station/ten-lines.asv"),
                                                   QStringLiteral("/dev/null")}
                                    << 2 << "";
    QTest::newRow("no port") << QStringList{kSetFile} << 2 << "at least one port";
    QTest::newRow("bad count") << QStringList{QStringLiteral("--count"), QStringLiteral("-1"), kSetFile,
                                              QStringLiteral("1")}
                               << 2 << "--count";
    QTest::newRow("same device twice")
        << QStringList{kSetFile, QStringLiteral("/dev/null"), QStringLiteral("/dev/../dev/null")} << 2
        << "name the same device";
    QTest::newRow("database that cannot be created")
        << QStringList{QStringLiteral("--record=/proc/none/r.sqlite"), kSetFile, QStringLiteral("PTY")} << 2
        << "records cannot be kept in /proc/none/r.sqlite: ";
    QTest::newRow("record options that exclude each other")
        << QStringList{QStringLiteral("--record"), QStringLiteral("--no-record"), kSetFile,
                       QStringLiteral("PTY")}
        << 2 << "--record and --no-record exclude each other";
    QTest::newRow("no port opens") << QStringList{kSetFile, QStringLiteral("/dev/ttyUSB-none"),
                                                  QStringLiteral("0")}
                                   << 3 << "This Comm is no use,please try others!";
}

// Refused before any port is touched (PTY stands for a line that must receive no byte); a set is
// refused with the explanation qt2xx-frame gives.
void TestStationTool::refusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    qt2xx::test::Pty line;
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^PTY$")), line.slavePath());
    Station station(arguments);
    QVERIFY(station.finish());
    QCOMPARE(line.takeWritten(), QByteArray());
    QCOMPARE(station.exitCode(), status);
    const QString errors = station.errors();
    if (message.isEmpty()) {
        QProcess tool;
        tool.start(kFrameTool, {arguments.first()});
        QVERIFY(tool.waitForFinished(kWait));
        const QString explanation =
            QString::fromLocal8Bit(tool.readAllStandardError()).section(QStringLiteral(": "), 1);
        QVERIFY(!explanation.trimmed().isEmpty());
        QCOMPARE(errors.section(QStringLiteral(": "), 1), explanation);
    } else {
        QVERIFY2(errors.contains(message), qPrintable(errors));
    }
    QVERIFY(station.events().isEmpty());
}

// The port that does not open is told with its reason; the station runs on the port that did.
void TestStationTool::portThatCannotOpenIsSkipped() {
    Controller sim;
    Station station({QStringLiteral("--count"), QStringLiteral("2"), kSetFile,
                     QStringLiteral("/dev/ttyUSB-none"), sim.device()});
    QVERIFY(station.finish());
    QCOMPARE(station.exitCode(), 0);
    QVERIFY(station.errors().contains(
        QStringLiteral("/dev/ttyUSB-none: This Comm is no use,please try others! Device /dev/ttyUSB-none:")));
    QCOMPARE(station.events(QStringLiteral("finished"), sim.device()).size(), 2);
}

// No record, no programming: while the disk is full no controller is begun, the one under way is told
// finished only once its record is durable, and the port seeks again once the disk has room.
void TestStationTool::failingRecordsHoldTheProgramming() {
    QTemporaryDir dir;
    qt2xx::test::SmallDisk disk(dir.filePath(QStringLiteral("disk")));
    if (!disk.mounted())
        QSKIP("mounting a small tmpfs needs root");
    const QString database = dir.filePath(QStringLiteral("disk/records.sqlite"));
    Controller sim;
    Station station({QStringLiteral("--record=") + database, kSetFile, sim.device()});
    QTRY_VERIFY_WITH_TIMEOUT(station.events(QStringLiteral("finished")).size() >= 2, kWait);
    disk.fill();
    QTRY_VERIFY_WITH_TIMEOUT(!station.events(QStringLiteral("records-failed")).isEmpty(), kWait);
    QVERIFY(!station.events(QStringLiteral("records-failed"))
                 .first()[QStringLiteral("reason")]
                 .toString()
                 .isEmpty());
    // Long enough for several controllers at the pace the port keeps, and for the writer's retries.
    QTest::qWait(1500);
    const qsizetype programmedWhileFull = sim.programmed().size();
    disk.freeUp();
    // A full disk may still take a small write now and then: each streak is told, and each ends.
    QTRY_COMPARE_WITH_TIMEOUT(station.events(QStringLiteral("records-resumed")).size(),
                              station.events(QStringLiteral("records-failed")).size(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(sim.programmed().size() >= programmedWhileFull + 2, kWait);
    station.signal(SIGTERM);
    QVERIFY(station.finish());

    QStringList between; // what the station told from the failure to the recovery
    bool failing = false;
    for (const QJsonObject& e : station.events()) {
        const QString kind = e[QStringLiteral("event")].toString();
        if (kind == QLatin1String("records-failed") || kind == QLatin1String("records-resumed"))
            failing = kind == QLatin1String("records-failed");
        else if (failing)
            between << kind;
    }
    QVERIFY2(!between.contains(QStringLiteral("started")), qPrintable(between.join(' ')));
    const auto store =
        qt2xx::test::Checked(qt2xx::RecordStore::open(database, qt2xx::RecordStore::OpenMode::MustExist));
    QVERIFY(store);
    const QJsonObject summary = station.events().last();
    QCOMPARE(summary[QStringLiteral("unconfirmed")].toInt(), 0);
    QCOMPARE(summary[QStringLiteral("finished")].toInt(),
             int(station.events(QStringLiteral("finished")).size()));
    qsizetype committed = 0;
    for (const auto& record : qt2xx::test::Checked(store->records({})))
        committed += record.result == qt2xx::Outcome::Finished ? 1 : 0;
    QCOMPARE(committed, station.events(QStringLiteral("finished")).size());
    const QString errors = station.errors();
    QVERIFY2(errors.count(QStringLiteral("records cannot be written")) ==
                 station.events(QStringLiteral("records-failed")).size(),
             qPrintable(errors));
}

// A server that is down when the station starts is told as one JSON event and its return as
// another; every local record ends up on the server once.
void TestStationTool::recordServerGetsEveryRecordOnce() {
    qt2xx::test::PgCluster cluster;
    QVERIFY2(cluster.isRunning(), qPrintable(cluster.error()));
    QVERIFY(cluster.createDatabase(QStringLiteral("plant")));
    QVERIFY(cluster.stop());
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    Controller a;
    Controller b;
    Station station({QStringLiteral("--json"), QStringLiteral("--count"), QStringLiteral("30"),
                     QStringLiteral("--record=") + database,
                     QStringLiteral("--record-server=") + cluster.url(QStringLiteral("plant")), kSetFile,
                     a.device(), b.device()});
    QTRY_COMPARE_WITH_TIMEOUT(station.events(QStringLiteral("forwarding-stopped")).size(), 1, kWait);
    QVERIFY(cluster.start());
    QVERIFY(station.finish());
    QCOMPARE(station.exitCode(), 0);
    QCOMPARE(station.events(QStringLiteral("forwarding-resumed")).size(), 1);

    const auto store = qt2xx::test::Checked(qt2xx::RecordStore::open(database));
    QVERIFY(store);
    const qsizetype local = qt2xx::test::Checked(store->records({})).size();
    QVERIFY(local >= 30);
    QCOMPARE(cluster.psql(QStringLiteral("SELECT count(*), count(DISTINCT record_id) FROM records"),
                          QStringLiteral("plant")),
             QStringLiteral("%1|%1").arg(local));
}

namespace {

// The worked example copied into a folder of its own, for an order to name.
QString copySet(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("qt2c.asv"));
    QFile::copy(kSetFile, path);
    return path;
}

std::vector<qt2xx::ProductionRecord> readRecords(const QString& database) {
    const auto store =
        qt2xx::test::Checked(qt2xx::RecordStore::open(database, qt2xx::RecordStore::OpenMode::MustExist));
    return store ? qt2xx::test::Checked(store->records({})) : std::vector<qt2xx::ProductionRecord>{};
}

} // namespace

// Six serials piped at once for an order of four on three ports whose units stay in: three units,
// each with its own serial, order, operator and station in its record, one unit per scan and per
// programmed frame; the other serials are refused once no slot is armed and none is ready.
void TestStationTool::orderArmsOnePortPerScan() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    const QString order = qt2xx::test::WriteOrderFile(copySet(dir), 4);
    Controller p1, p2, p3;
    Station station({QStringLiteral("--order"), order, QStringLiteral("--json"), QStringLiteral("--operator"),
                     QStringLiteral("OP1"), QStringLiteral("--station"), QStringLiteral("S1"),
                     QStringLiteral("--record=") + database, p1.device(), p2.device(), p3.device()},
                    qt2xx::test::SerialLines(1, 6));
    QVERIFY(station.finish());
    QVERIFY2(station.exitCode() == 0, qPrintable(station.errors() + station.lastEvents()));
    QVERIFY(station.badLines().isEmpty());

    const QList<QJsonObject> armed = station.events(QStringLiteral("armed"));
    QCOMPARE(armed.size(), 3);
    QCOMPARE(armed[0][QStringLiteral("device")].toString(), p1.device());
    QCOMPARE(armed[1][QStringLiteral("device")].toString(), p2.device());
    QCOMPARE(armed[2][QStringLiteral("device")].toString(), p3.device());
    QSet<QString> serials;
    for (const QJsonObject& e : armed)
        serials << e[QStringLiteral("serial")].toString();
    QCOMPARE(serials, (QSet<QString>{"QT2C-00000001", "QT2C-00000002", "QT2C-00000003"}));
    const QList<QJsonObject> finished = station.events(QStringLiteral("finished"));
    QCOMPARE(finished.size(), 3);
    QCOMPARE(station.events(QStringLiteral("scan-refused")).size(), 3);
    QCOMPARE(station.events(QStringLiteral("remove-unit")).size(), 3);
    for (const QJsonObject& e : finished)
        QVERIFY(serials.contains(e[QStringLiteral("serial")].toString()));

    const auto records = readRecords(database);
    QCOMPARE(records.size(), size_t(3));
    QSet<QString> recorded;
    for (const auto& record : records) {
        QCOMPARE(record.result, qt2xx::Outcome::Finished);
        QCOMPARE(record.orderId, QStringLiteral("WO-7"));
        QCOMPARE(record.operatorId, QStringLiteral("OP1"));
        QCOMPARE(record.station, QStringLiteral("S1"));
        QVERIFY(!record.rework);
        recorded << record.unitSerial;
    }
    QCOMPARE(recorded, serials);
    for (Controller* sim : {&p1, &p2, &p3}) {
        sim->terminate();
        const auto mine = std::count_if(records.begin(), records.end(),
                                        [sim](const auto& r) { return r.device == sim->device(); });
        QCOMPARE(sim->programmed().size(), qsizetype(mine));
    }
}

// Without serials the order's progress is its finished records: a first run stopped by --count, a
// second that programs the rest, a third that finds the order complete and touches no port.
void TestStationTool::orderReachesItsQuantityAcrossRuns() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    const QString order = qt2xx::test::WriteOrderFile(copySet(dir), 5, QString());
    const QStringList common{QStringLiteral("--order"), order, QStringLiteral("--record=") + database};
    const struct {
        QStringList extra;
        int programmed;
    } runs[] = {{{QStringLiteral("--count"), QStringLiteral("2")}, 2}, {{}, 3}, {{}, 0}};
    for (const auto& run : runs) {
        Controller a, b;
        Station station(common + run.extra + QStringList{a.device(), b.device()});
        QVERIFY(station.finish());
        QVERIFY2(station.exitCode() == 0, qPrintable(station.errors()));
        QCOMPARE(station.events(QStringLiteral("finished")).size(), run.programmed);
        a.terminate();
        b.terminate();
        QCOMPARE(a.programmed().size() + b.programmed().size(), run.programmed);
        if (run.programmed == 0)
            QVERIFY(station.errors().contains(QStringLiteral("order WO-7 is complete: 5 of 5")));
    }
    QCOMPARE(readRecords(database).size(), size_t(5));
    const auto store =
        qt2xx::test::Checked(qt2xx::RecordStore::open(database, qt2xx::RecordStore::OpenMode::MustExist));
    const auto kept = qt2xx::test::Checked(store->order(QStringLiteral("WO-7")));
    QVERIFY(kept);
    QCOMPARE(kept->quantity, 5);
    QVERIFY(kept->firstUsed.isValid());
}

void TestStationTool::scanRefusals_data() {
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("ports");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("refused"); // the reason's words, empty when nothing is refused
    QTest::addColumn<int>("reworks");
    QTest::newRow("pattern") << QStringList() << 1 << QByteArray("QT2C-1\nQT2C-00000001\n")
                             << "does not match the order's serial pattern" << 0;
    QTest::newRow("armed elsewhere") << QStringList() << 2 << QByteArray(" QT2C-00000001\nQT2C-00000001 \n")
                                     << "is already armed on slot 1" << 0;
    QTest::newRow("already finished") << QStringList() << 1 << QByteArray("QT2C-00000001\n\nQT2C-00000001\n")
                                      << "already has a finished record" << 0;
    QTest::newRow("terminal escape sequence")
        << QStringList() << 1 << QByteArray("QT2C-\x1b[2J00000001\nQT2C-00000001\n")
        << R"(QT2C-\x1b[2J00000001 holds the control character \x1b)" << 0;
    QTest::newRow("bytes that are not UTF-8")
        << QStringList() << 1 << QByteArray("QT2C-0000000\xff\nQT2C-00000001\n")
        << R"(QT2C-0000000\xff is not UTF-8 text)" << 0;
    // Read and refused once, a bounded head at a time; the serial after it is read as usual.
    QTest::newRow("megabyte line") << QStringList() << 1
                                   << QByteArray(1 << 20, '7') + QByteArray("\nQT2C-00000001\n")
                                   << "line of 1048576 bytes is too long for a serial" << 0;
    QTest::newRow("rework allowed") << QStringList{QStringLiteral("--rework")} << 1
                                    << QByteArray("QT2C-00000001\nQT2C-00000001\n") << QString() << 1;
}

// Each refused scan is told on stderr and as scan-refused, arms no port and leaves the run going. The
// terminal and its JSON stay English under a Chinese locale, where the gang window translates the
// same refusals.
void TestStationTool::scanRefusals() {
    QFETCH(QStringList, extra);
    QFETCH(int, ports);
    QFETCH(QByteArray, input);
    QFETCH(QString, refused);
    QFETCH(int, reworks);
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    const QString order = qt2xx::test::WriteOrderFile(copySet(dir), 10);
    std::vector<std::unique_ptr<Controller>> sims;
    QStringList args =
        QStringList{QStringLiteral("--order"), order, QStringLiteral("--record=") + database} + extra;
    for (int i = 0; i < ports; ++i) {
        sims.push_back(std::make_unique<Controller>());
        args << sims.back()->device();
    }
    QProcessEnvironment chinese = QProcessEnvironment::systemEnvironment();
    chinese.remove(QStringLiteral("LC_ALL"));
    chinese.remove(QStringLiteral("LC_MESSAGES"));
    chinese.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
    chinese.insert(QStringLiteral("LANGUAGE"), QStringLiteral("zh_CN"));
    Station station(args, input, chinese);
    QVERIFY(station.finish());
    QVERIFY2(station.exitCode() == 0, qPrintable(station.errors()));
    const QList<QJsonObject> refusals = station.events(QStringLiteral("scan-refused"));
    const QString errors = station.errors();
    QCOMPARE(refusals.size(), refused.isEmpty() ? 0 : 1);
    if (!refused.isEmpty()) {
        QVERIFY2(refusals[0][QStringLiteral("reason")].toString().contains(refused),
                 qPrintable(refusals[0][QStringLiteral("reason")].toString()));
        QVERIFY(errors.contains(refused));
        QVERIFY(!refusals[0][QStringLiteral("serial")].toString().contains(QLatin1Char(' ')));
        for (const QString& shown : {refusals[0][QStringLiteral("serial")].toString(), errors}) {
            QVERIFY2(!shown.contains(QChar(0x1b)) && !shown.contains(QChar::ReplacementCharacter),
                     qPrintable(shown.left(200)));
        }
        QVERIFY(errors.size() < 4096);
    }
    const auto records = readRecords(database);
    const int finished = int(station.events(QStringLiteral("finished")).size());
    QCOMPARE(finished, int(station.events(QStringLiteral("armed")).size()));
    QCOMPARE(int(records.size()), finished);
    QCOMPARE(int(std::count_if(records.begin(), records.end(), [](const auto& r) { return r.rework; })),
             reworks);
}

// A set changed after the order was released is refused, naming both hashes and the order file,
// before any port is opened: no port tells an event and no simulator is programmed.
void TestStationTool::orderWithAnotherSetTouchesNoPort() {
    QTemporaryDir dir;
    const QString released(64, QLatin1Char('0'));
    const QString order = qt2xx::test::WriteOrderFile(copySet(dir), 4, QString(), released);
    Controller sim;
    Station station({QStringLiteral("--order"), order, sim.device()}, QByteArray("QT2C-00000001\n"));
    QVERIFY(station.finish());
    QCOMPARE(station.exitCode(), 2);
    const QString errors = station.errors();
    QVERIFY2(errors.contains(order) && errors.contains(released), qPrintable(errors));
    QVERIFY(errors.contains(qt2xx::ParameterSetSha256(qt2xx::ReadSetFile(kSetFile).values)));
    QVERIFY(station.events().isEmpty());
    sim.terminate();
    QVERIFY(sim.programmed().isEmpty());
}

// Four units left in their slots and eight serials scanned a second apart: the slots are armed in
// turn, each controller is programmed once and then watched for removal, and the four serials that
// come while every unit is still in are refused with the reason.
void TestStationTool::unitLeftInItsSlotTakesNoSecondSerial() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    const QString order = qt2xx::test::WriteOrderFile(copySet(dir), 10);
    Controller p1, p2, p3, p4;
    const QStringList devices{p1.device(), p2.device(), p3.device(), p4.device()};
    Station station(QStringList{QStringLiteral("--order"), order, QStringLiteral("--json"),
                                QStringLiteral("--record=") + database} +
                    devices);
    for (int i = 1; i <= 8; ++i) {
        station.scan(qt2xx::test::SerialLines(i, 1).trimmed());
        QTest::qWait(1000);
    }
    station.endInput();
    QVERIFY(station.finish());
    QVERIFY2(station.exitCode() == 0, qPrintable(station.errors() + station.lastEvents()));

    const QList<QJsonObject> armed = station.events(QStringLiteral("armed"));
    const QList<QJsonObject> finished = station.events(QStringLiteral("finished"));
    const QList<QJsonObject> removals = station.events(QStringLiteral("remove-unit"));
    QCOMPARE(armed.size(), 4);
    QCOMPARE(finished.size(), 4);
    QCOMPARE(removals.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QString serial = QString::fromLatin1(qt2xx::test::SerialLines(i + 1, 1).trimmed());
        QCOMPARE(armed[i][QStringLiteral("device")].toString(), devices[i]);
        QCOMPARE(armed[i][QStringLiteral("serial")].toString(), serial);
        QCOMPARE(station.events(QStringLiteral("finished"), devices[i]).size(), 1);
        QCOMPARE(station.events(QStringLiteral("remove-unit"), devices[i])
                     .first()[QStringLiteral("serial")]
                     .toString(),
                 serial);
    }
    QVERIFY(station.events(QStringLiteral("unit-removed")).isEmpty());
    const QList<QJsonObject> refused = station.events(QStringLiteral("scan-refused"));
    QCOMPARE(refused.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(refused[i][QStringLiteral("serial")].toString(),
                 QString::fromLatin1(qt2xx::test::SerialLines(i + 5, 1).trimmed()));
        QVERIFY(refused[i][QStringLiteral("reason")].toString().contains(QStringLiteral("No slot is ready")));
    }
    QCOMPARE(readRecords(database).size(), size_t(4));
    for (Controller* sim : {&p1, &p2, &p3, &p4}) {
        sim->terminate();
        QCOMPARE(sim->programmed().size(), 1);
    }
}

// Swapped units: every unit is counted taken out before its slot takes the next serial, slots are
// armed in turn, each unit gets exactly one serial, and a unit whose frame was refused is tried again
// in its own slot by scanning its own serial, without being taken out.
void TestStationTool::swappedUnitsTakeOneSerialEachInTurn() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    const QString order = qt2xx::test::WriteOrderFile(copySet(dir), 10);
    const QStringList swap{QStringLiteral("--swap"), QStringLiteral("6000")};
    Controller p1(swap),
        p2(swap + QStringList{QStringLiteral("--reject-frame"), QStringLiteral("--fail-every"),
                              QStringLiteral("2")}),
        p3(swap), p4(swap);
    const QStringList devices{p1.device(), p2.device(), p3.device(), p4.device()};
    Station station(QStringList{QStringLiteral("--order"), order, QStringLiteral("--json"),
                                QStringLiteral("--record=") + database} +
                    devices);
    const auto serial = [](int i) { return qt2xx::test::SerialLines(i, 1).trimmed(); };
    for (int i = 1; i <= 4; ++i) {
        station.scan(serial(i));
        QVERIFY(station.waitFor(QStringLiteral("armed"), i));
    }
    // Each next serial once the unit of the slot whose turn it is has been taken out.
    for (int i = 5; i <= 8; ++i) {
        QVERIFY2(station.waitFor(QStringLiteral("unit-removed"), 1, devices[i - 5]),
                 qPrintable(station.lastEvents()));
        station.scan(serial(i));
        QVERIFY(station.waitFor(QStringLiteral("armed"), i + (i > 6 ? 1 : 0)));
        if (i == 6) {
            QVERIFY2(station.waitFor(QStringLiteral("transmit-failure"), 1),
                     qPrintable(station.lastEvents()));
            QVERIFY(station.waitFor(QStringLiteral("remove-unit"), 2, devices[1]));
            station.scan(serial(6));
            QVERIFY(station.waitFor(QStringLiteral("armed"), 7));
        }
    }
    QVERIFY(station.waitFor(QStringLiteral("finished"), 8));
    station.endInput();
    QVERIFY(station.finish());
    QVERIFY2(station.exitCode() == 1, qPrintable(station.errors() + station.lastEvents()));
    QVERIFY(station.events(QStringLiteral("scan-refused")).isEmpty());

    const QList<QJsonObject> armed = station.events(QStringLiteral("armed"));
    const int slotOf[] = {0, 1, 2, 3, 0, 1, 1, 2, 3};
    const int serials[] = {1, 2, 3, 4, 5, 6, 6, 7, 8};
    QCOMPARE(armed.size(), 9);
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(armed[i][QStringLiteral("device")].toString(), devices[slotOf[i]]);
        QCOMPARE(armed[i][QStringLiteral("serial")].toString(), QString::fromLatin1(serial(serials[i])));
    }
    QSet<QString> finished;
    for (const QJsonObject& e : station.events(QStringLiteral("finished")))
        finished << e[QStringLiteral("serial")].toString();
    QCOMPARE(finished.size(), 8);
    const auto records = readRecords(database);
    QCOMPARE(records.size(), size_t(9));
    QCOMPARE(std::count_if(records.begin(), records.end(),
                           [](const auto& r) { return r.result == qt2xx::Outcome::Finished; }),
             8);
    for (Controller* sim : {&p1, &p2, &p3, &p4}) {
        sim->terminate();
        QCOMPARE(sim->programmed().size(), 2);
    }
}

namespace {

// The event that answered a scan: the serial armed, or refused for a reason of the plant or the
// order. A scan refused only because no slot is ready yet is scanned again a little later.
QJsonObject answerTo(Station& station, const QByteArray& serial) {
    QElapsedTimer waited;
    waited.start();
    const QString wanted = QString::fromLatin1(serial);
    while (waited.elapsed() < kWait) {
        const qsizetype seen = station.events().size();
        station.scan(serial);
        while (waited.elapsed() < kWait) {
            const QList<QJsonObject> events = station.events().mid(seen);
            const auto answer = std::find_if(events.begin(), events.end(), [&](const QJsonObject& e) {
                const QString kind = e[QStringLiteral("event")].toString();
                return (kind == QLatin1String("armed") || kind == QLatin1String("scan-refused")) &&
                       e[QStringLiteral("serial")].toString() == wanted;
            });
            if (answer != events.end()) {
                const QString reason = (*answer)[QStringLiteral("reason")].toString();
                if (!reason.contains(QStringLiteral("No slot is ready")) &&
                    !reason.contains(QStringLiteral("Every slot is busy")))
                    return *answer;
                QTest::qWait(300);
                break;
            }
            QTest::qWait(20);
        }
    }
    return {};
}

// Waits until the rules last told are these.
bool rulesTold(Station& station, const QString& rules) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kWait) {
        const QList<QJsonObject> told = station.events(QStringLiteral("plant-rules"));
        if (!told.isEmpty() && told.last()[QStringLiteral("rules")].toString() == rules)
            return true;
        QTest::qWait(50);
    }
    return false;
}

// The arguments of a bench named name on order and the record server, keeping its records in dir.
QStringList benchArguments(const QString& order, const QTemporaryDir& dir, const QString& server,
                           const QString& name, const QStringList& devices) {
    return QStringList{QStringLiteral("--order"),
                       order,
                       QStringLiteral("--json"),
                       QStringLiteral("--station"),
                       name,
                       QStringLiteral("--record=") + dir.filePath(name + QStringLiteral(".sqlite")),
                       server} +
           devices;
}

} // namespace

// Two benches on one order of 6 through one server, bench A handed serials 1-9 and bench B 4-12,
// scanned in turn: the plant makes 6 units and no serial twice, and each refusal says why. A bench
// whose order file differs is refused before a port is touched. With the server stopped under
// "stop", scans are refused until it answers again, then arming resumes by itself.
void TestStationTool::benchesShareAnOrderThroughClaims() {
    qt2xx::test::PgCluster cluster;
    QVERIFY2(cluster.isRunning(), qPrintable(cluster.error()));
    QVERIFY(cluster.createDatabase(QStringLiteral("plant")));
    const QString server = QStringLiteral("--record-server=") + cluster.url(QStringLiteral("plant"));
    QTemporaryDir dir;
    const QString set = copySet(dir);
    const QString order = qt2xx::test::WriteOrderFile(set, 6);
    const QStringList swap{QStringLiteral("--swap"), QStringLiteral("5000")};
    Controller a1(swap), a2(swap), a3(swap), b1(swap), b2(swap), b3(swap);
    const auto bench = [&](const QString& name, const QStringList& devices) {
        return benchArguments(order, dir, server, name, devices);
    };
    Station a(bench(QStringLiteral("A"), {a1.device(), a2.device(), a3.device()}));
    Station b(bench(QStringLiteral("B"), {b1.device(), b2.device(), b3.device()}));
    QVERIFY2(rulesTold(a, QStringLiteral("plant")), qPrintable(a.errors()));
    QVERIFY2(rulesTold(b, QStringLiteral("plant")), qPrintable(b.errors()));

    QSet<QString> armed;
    QStringList reasons;
    for (int i = 0; i < 9; ++i) {
        for (auto [station, serial] : {std::pair{&a, 1 + i}, std::pair{&b, 4 + i}}) {
            const QJsonObject answer = answerTo(*station, qt2xx::test::SerialLines(serial, 1).trimmed());
            QVERIFY2(!answer.isEmpty(), qPrintable(station->errors() + station->lastEvents()));
            if (answer[QStringLiteral("event")].toString() == QLatin1String("armed")) {
                QVERIFY2(!armed.contains(answer[QStringLiteral("serial")].toString()),
                         qPrintable(station->lastEvents()));
                armed << answer[QStringLiteral("serial")].toString();
            } else {
                reasons << answer[QStringLiteral("reason")].toString();
            }
        }
    }
    a.endInput();
    b.endInput();
    QVERIFY(a.finish());
    QVERIFY(b.finish());
    QVERIFY2(a.exitCode() == 0 && b.exitCode() == 0, qPrintable(a.errors() + b.errors()));
    QCOMPARE(armed.size(), 6);
    QCOMPARE(reasons.size(), 12);
    const QRegularExpression why(QStringLiteral("is being made at [AB]\\.|already has a finished record "
                                                "\\([AB], |Order WO-7 is complete: 6 of 6"));
    for (const QString& reason : reasons)
        QVERIFY2(why.match(reason).hasMatch(), qPrintable(reason));
    QVERIFY(reasons.filter(QStringLiteral("is complete")).size() >= 1);
    QVERIFY(reasons.filter(QStringLiteral("is being made at")).size() +
                reasons.filter(QStringLiteral("already has a finished record")).size() >=
            1);
    QSet<QString> finishedHere;
    for (Station* station : {&a, &b})
        for (const QJsonObject& e : station->events(QStringLiteral("finished")))
            finishedHere << e[QStringLiteral("serial")].toString();
    QCOMPARE(finishedHere, armed);
    QTRY_COMPARE_WITH_TIMEOUT(
        cluster.psql(QStringLiteral("SELECT count(*), count(DISTINCT unit_serial) FROM records WHERE "
                                    "work_order = 'WO-7' AND result = 'finished'"),
                     QStringLiteral("plant")),
        QStringLiteral("6|6"), kWait);
    QCOMPARE(cluster.psql(QStringLiteral("SELECT units_done FROM orders WHERE work_order = 'WO-7'"),
                          QStringLiteral("plant")),
             QStringLiteral("6"));
    QCOMPARE(cluster.psql(QStringLiteral("SELECT count(*) FROM claims"), QStringLiteral("plant")),
             QStringLiteral("0"));
    // The order's figures: the plant's from the server, bench A's share from its own records.
    const auto plantOf = [](const QStringList& arguments) {
        QProcess tool;
        tool.start(kRecordsTool, arguments + QStringList{QStringLiteral("order"), QStringLiteral("WO-7"),
                                                         QStringLiteral("--format"), QStringLiteral("json")});
        tool.waitForFinished(kWait);
        return QJsonDocument::fromJson(tool.readAllStandardOutput())[QStringLiteral("plant")].toString();
    };
    QCOMPARE(plantOf({QStringLiteral("--db"), dir.filePath(QStringLiteral("A.sqlite")), server}),
             QStringLiteral("6 / 6, this bench %1").arg(a.events(QStringLiteral("finished")).size()));
    QCOMPARE(plantOf({QStringLiteral("--server"), cluster.url(QStringLiteral("plant"))}),
             QStringLiteral("6 / 6"));

    // The same order released for another quantity: refused naming both, no port touched.
    qt2xx::test::WriteOrderFile(set, 7);
    Controller c1;
    Station c(bench(QStringLiteral("C"), {c1.device()}));
    QVERIFY(c.finish());
    QCOMPARE(c.exitCode(), 2);
    QVERIFY2(c.errors().contains(QStringLiteral("quantity: the order file says 7, the server says 6")),
             qPrintable(c.errors()));
    QVERIFY(c.events(QStringLiteral("started")).isEmpty());
    c1.terminate();
    QVERIFY(c1.programmed().isEmpty());

    // Another order, whose server stops under way.
    QTemporaryDir other;
    const QString stopping = qt2xx::test::WriteOrderFile(copySet(other), 4, QStringLiteral("^QT2C-[0-9]{8}$"),
                                                         QString(), QStringLiteral("WO-8"));
    Controller d1(swap), d2(swap);
    Station d({QStringLiteral("--order"), stopping, QStringLiteral("--json"), QStringLiteral("--station"),
               QStringLiteral("D"), QStringLiteral("--record=") + other.filePath(QStringLiteral("d.sqlite")),
               server, d1.device(), d2.device()});
    QVERIFY2(rulesTold(d, QStringLiteral("plant")), qPrintable(d.errors()));
    QCOMPARE(answerTo(d, "QT2C-00000021")[QStringLiteral("event")].toString(), QStringLiteral("armed"));
    QVERIFY(d.waitFor(QStringLiteral("finished"), 1));
    QVERIFY(cluster.stop());
    QVERIFY2(rulesTold(d, QStringLiteral("stopped")), qPrintable(d.lastEvents()));
    const QJsonObject away = answerTo(d, "QT2C-00000022");
    QCOMPARE(away[QStringLiteral("event")].toString(), QStringLiteral("scan-refused"));
    QVERIFY2(away[QStringLiteral("reason")].toString().contains(QStringLiteral("while the server is away")),
             qPrintable(away[QStringLiteral("reason")].toString()));
    QVERIFY(cluster.start());
    QVERIFY2(rulesTold(d, QStringLiteral("plant")), qPrintable(d.lastEvents()));
    QCOMPARE(answerTo(d, "QT2C-00000023")[QStringLiteral("event")].toString(), QStringLiteral("armed"));
    // The bench runs until its records are on the server: just after the server's return the
    // forwarding may still be backing off, longer than the end-of-run wait.
    QTRY_COMPARE_WITH_TIMEOUT(
        cluster.psql(QStringLiteral("SELECT string_agg(unit_serial, ',' ORDER BY unit_serial) FROM records "
                                    "WHERE work_order = 'WO-8' AND result = 'finished'"),
                     QStringLiteral("plant")),
        QStringLiteral("QT2C-00000021,QT2C-00000023"), kWait);

    d.endInput();
    QVERIFY(d.finish());
    QVERIFY2(d.exitCode() == 0, qPrintable(d.errors() + d.lastEvents()));
    QCOMPARE(d.events(QStringLiteral("armed")).size(), 2);

    // The same server stopped under "local": the bench goes on by its own records, and says so. What
    // it begins meanwhile is marked offline: here a serial bench H finished, which the order report
    // then lists twice; a unit claimed once the server is back is the plant's again.
    QTemporaryDir fourth;
    const QString local = qt2xx::test::WriteOrderFile(copySet(fourth), 4, QStringLiteral("^QT2C-[0-9]{8}$"),
                                                      QString(), QStringLiteral("WO-10"));
    QFile localFile(local);
    QVERIFY(localFile.open(QIODevice::ReadWrite));
    QJsonObject localJson = QJsonDocument::fromJson(localFile.readAll()).object();
    localJson.insert(QStringLiteral("offline"), QStringLiteral("local"));
    localFile.resize(0);
    localFile.write(QJsonDocument(localJson).toJson());
    localFile.close();
    Controller g1(swap), h1(swap);
    Station h(benchArguments(local, fourth, server, QStringLiteral("H"), {h1.device()}));
    QVERIFY2(rulesTold(h, QStringLiteral("plant")), qPrintable(h.errors()));
    QCOMPARE(answerTo(h, "QT2C-00000031")[QStringLiteral("event")].toString(), QStringLiteral("armed"));
    // Each bench runs until its records are on the server: the end-of-run wait may fall short on a
    // loaded machine.
    const QString wo10 =
        QStringLiteral("SELECT string_agg(unit_serial || ' ' || station || ' ' || offline, ', ' "
                       "ORDER BY unit_serial, station) FROM records WHERE work_order = 'WO-10' "
                       "AND result = 'finished'");
    QTRY_COMPARE_WITH_TIMEOUT(cluster.psql(wo10, QStringLiteral("plant")),
                              QStringLiteral("QT2C-00000031 H 0"), kWait);
    h.endInput();
    QVERIFY(h.finish());
    QCOMPARE(h.exitCode(), 0);
    Station g(benchArguments(local, fourth, server, QStringLiteral("G"), {g1.device()}));
    QVERIFY2(rulesTold(g, QStringLiteral("plant")), qPrintable(g.errors()));
    QVERIFY(cluster.stop());
    QVERIFY2(rulesTold(g, QStringLiteral("local")), qPrintable(g.lastEvents()));
    QCOMPARE(answerTo(g, "QT2C-00000031")[QStringLiteral("event")].toString(), QStringLiteral("armed"));
    QVERIFY(g.waitFor(QStringLiteral("finished"), 1));
    QVERIFY(cluster.start());
    QVERIFY2(rulesTold(g, QStringLiteral("plant")), qPrintable(g.lastEvents()));
    QCOMPARE(answerTo(g, "QT2C-00000032")[QStringLiteral("event")].toString(), QStringLiteral("armed"));
    QTRY_COMPARE_WITH_TIMEOUT(cluster.psql(wo10, QStringLiteral("plant")),
                              QStringLiteral("QT2C-00000031 G 1, QT2C-00000031 H 0, QT2C-00000032 G 0"),
                              kWait);
    g.endInput();
    QVERIFY(g.finish());
    QCOMPARE(g.exitCode(), 0);
    QProcess tool;
    tool.start(kRecordsTool, {QStringLiteral("--server"), cluster.url(QStringLiteral("plant")),
                              QStringLiteral("order"), QStringLiteral("WO-10")});
    QVERIFY(tool.waitForFinished(kWait));
    const QByteArray report = tool.readAllStandardOutput();
    QVERIFY2(report.contains("\nduplicates        QT2C-00000031: 2 finished at G, H; made offline\n"),
             report.constData());

    // Without serials two benches of two ports claim a unit before each port seeks: 3 units in all.
    QTemporaryDir third;
    const QString plain =
        qt2xx::test::WriteOrderFile(copySet(third), 3, QString(), QString(), QStringLiteral("WO-9"));
    Controller e1, e2, f1, f2;
    const auto plainBench = [&](const QString& name, const QStringList& devices) {
        return benchArguments(plain, third, server, name, devices);
    };
    Station e(plainBench(QStringLiteral("E"), {e1.device(), e2.device()}));
    Station f(plainBench(QStringLiteral("F"), {f1.device(), f2.device()}));
    QVERIFY(e.finish());
    QVERIFY(f.finish());
    QVERIFY2(e.exitCode() == 0 && f.exitCode() == 0, qPrintable(e.errors() + f.errors()));
    QCOMPARE(e.events(QStringLiteral("finished")).size() + f.events(QStringLiteral("finished")).size(), 3);
    // A record the end-of-run wait could not forward on a loaded machine stays local until the
    // bench starts again, so the server may count fewer; never more.
    QVERIFY(cluster
                .psql(QStringLiteral("SELECT units_done FROM orders WHERE work_order = 'WO-9'"),
                      QStringLiteral("plant"))
                .toInt() <= 3);
    for (Controller* sim : {&e1, &e2, &f1, &f2})
        sim->terminate();
    QCOMPARE(
        e1.programmed().size() + e2.programmed().size() + f1.programmed().size() + f2.programmed().size(), 3);
}

QTEST_GUILESS_MAIN(TestStationTool)
#include "tst_stationtool.moc"
