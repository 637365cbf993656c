// Several ports in one station, each over a pseudo-terminal the test plays the controller on. The
// test makes every tick, so each port's exchange can be checked tick by tick while the others do
// something else.
#include "files/SetFile.h"
#include "link/SequencerMessages.h"
#include "station/Devices.h"
#include "station/PortPhase.h"
#include "station/Station.h"
#include "support/BuildPaths.h"
#include "support/Pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace qt2xx;

namespace {

const QByteArray kSeek = "8";
const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");

struct Rig {
    explicit Rig(int ports, int count = 0) : set(ReadSetFile(kSetFile)), station(set.values, set.frame) {
        station.setCount(count);
        QObject::connect(&station, &Station::event, &station, [this](const PortEvent& e) { events << e; });
        for (int i = 0; i < ports; ++i) {
            ptys.push_back(std::make_unique<test::Pty>());
            station.addPort(ptys.back()->slavePath()).setManualTicks(true);
        }
    }

    StationPort& port(int i) { return *station.ports()[size_t(i)]; }

    // One tick of every port whose timer runs, then what each wrote in it.
    QList<QByteArray> tick() {
        for (const auto& p : station.ports()) {
            if (p->timerEnabled())
                p->tick();
        }
        QList<QByteArray> written;
        for (const auto& pty : ptys)
            written << pty->takeWritten();
        return written;
    }

    QStringList eventNames() const {
        QStringList names;
        for (const PortEvent& e : events)
            names << QStringLiteral("%1 %2 %3")
                         .arg(e.device.section(QLatin1Char('/'), -1))
                         .arg(e.unit)
                         .arg(PortEventName(e));
        return names;
    }

    QString name(int i) const { return ptys[size_t(i)]->slavePath().section(QLatin1Char('/'), -1); }

    SetFile set;
    Station station;
    std::vector<std::unique_ptr<test::Pty>> ptys;
    QList<PortEvent> events;
};

QByteArray frameBytes(const DownloadFrame& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

} // namespace

class TestStationPort : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void portsKeepTheirOwnTicks();
    void pulledPortLeavesTheOthersUndisturbed();
    void countPausesPortsThatCouldOvershootIt();
    void portWaitingForItsRecordSeeksNoUnitPastTheCount();
    void failingRecordsPauseEveryPortTillTheyAreWritten();
    void stopLetsAStoredControllerBeFinished();
    void portsAreNamedAsThePortBoxAndTheLinksNameThem();
    void removalWatchProbesOnceASecond();
};

// One port programs, one only seeks, one is refused: each writes on exactly the tick its own state
// calls for, and the events tell which port and unit each outcome belongs to.
void TestStationPort::portsKeepTheirOwnTicks() {
    Rig rig(3);
    QVERIFY(rig.set.ready());
    QCOMPARE(rig.station.start(), 3);
    const QByteArray frame = frameBytes(rig.set.frame);

    QCOMPARE(rig.tick(), (QList<QByteArray>{kSeek, kSeek, kSeek}));
    rig.ptys[0]->write("U");
    rig.ptys[2]->write("U");
    QTRY_COMPARE(rig.port(2).state(), DownloadSequencer::Answered);
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Answered);

    QCOMPARE(rig.tick(), (QList<QByteArray>{frame, kSeek, frame}));
    rig.ptys[2]->write("X");
    rig.ptys[0]->write("Q");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Accepted);
    rig.ptys[0]->write("R");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Stored);
    QCOMPARE(rig.port(2).lastMessage(), kTransmitFailureMessage);

    // The third "8" of port 1's cycle; port 2 seeks from a counter its failure reset.
    QCOMPARE(rig.tick(), (QList<QByteArray>{QByteArray(), kSeek, kSeek}));
    QCOMPARE(rig.port(0).progress(), 100.0f);
    QCOMPARE(rig.tick(), (QList<QByteArray>{kSeek, QByteArray(), kSeek}));

    QCOMPARE(rig.eventNames(),
             (QStringList{rig.name(0) + " 1 started", rig.name(2) + " 1 started",
                          rig.name(2) + " 1 transmit-failure", rig.name(0) + " 1 finished"}));
    QCOMPARE(rig.station.finished(), 1);
    QCOMPARE(rig.station.failed(), 1);
    // After the final stop a failed port still shows its failure, a finished one nothing of the kind.
    rig.station.stop();
    QTRY_VERIFY(rig.station.isStopped());
    QCOMPARE(rig.port(2).lastFailure(), kTransmitFailureMessage);
    QCOMPARE(rig.port(2).lastMessage(), kCommClosedMessage);
    QVERIFY(rig.port(0).lastFailure().isEmpty());
}

// An adapter pulled in the middle of an exchange cuts that unit short and is told once; the other
// port goes on with its exchange tick for tick.
void TestStationPort::pulledPortLeavesTheOthersUndisturbed() {
    Rig rig(2);
    QCOMPARE(rig.station.start(), 2);
    QCOMPARE(rig.tick(), (QList<QByteArray>{kSeek, kSeek}));
    rig.ptys[0]->write("U");
    rig.ptys[1]->write("U");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Answered);
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Answered);
    const QByteArray frame = frameBytes(rig.set.frame);
    QCOMPARE(rig.tick(), (QList<QByteArray>{frame, frame}));

    rig.ptys[0]->close();
    QTRY_VERIFY(rig.port(0).lost());
    rig.ptys[1]->write("Q");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Accepted);
    rig.ptys[1]->write("R");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Stored);
    rig.tick();
    QCOMPARE(rig.port(1).finished(), 1);
    QCOMPARE(rig.ptys[1]->takeWritten(), QByteArray());
    QCOMPARE(rig.tick().at(1), kSeek);

    QCOMPARE(rig.eventNames(), (QStringList{rig.name(0) + " 1 started", rig.name(1) + " 1 started",
                                            rig.name(0) + " 1 interrupted", rig.name(0) + " 1 lost",
                                            rig.name(1) + " 1 finished"}));
    QCOMPARE(rig.port(0).interrupted(), 1);
}

// With one controller to go and one exchange under way, the other port stops seeking; it seeks again
// when that exchange fails, and the station stops once the count is made.
void TestStationPort::countPausesPortsThatCouldOvershootIt() {
    Rig rig(2, 1);
    QCOMPARE(rig.station.start(), 2);
    rig.tick();
    rig.ptys[0]->write("U");
    QTRY_VERIFY(rig.port(1).paused());
    QVERIFY(!rig.port(1).running());
    QCOMPARE(rig.tick(), (QList<QByteArray>{frameBytes(rig.set.frame), QByteArray()}));

    rig.ptys[0]->write("X");
    QTRY_VERIFY(rig.port(1).running());
    for (int i = 0; i < 4 && rig.tick().at(1) != kSeek; ++i) {
    }
    rig.ptys[1]->write("U");
    QTRY_VERIFY(rig.port(0).paused());
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Answered);
    QCOMPARE(rig.tick().at(1), frameBytes(rig.set.frame));
    rig.ptys[1]->write("Q");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Accepted);
    rig.ptys[1]->write("R");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Stored);
    rig.tick();
    QTRY_VERIFY(rig.station.isStopped());

    QCOMPARE(rig.eventNames(), (QStringList{rig.name(0) + " 1 started", rig.name(0) + " 1 transmit-failure",
                                            rig.name(1) + " 1 started", rig.name(1) + " 1 finished",
                                            rig.name(0) + " 1 stopped", rig.name(1) + " 1 stopped"}));
}

// A finished unit whose record is still being written counts toward the count at once: with the last
// unit under way on the other port, its port pauses instead of seeking a controller too many.
void TestStationPort::portWaitingForItsRecordSeeksNoUnitPastTheCount() {
    Rig rig(2, 2);
    QCOMPARE(rig.station.start(), 2);
    rig.tick();
    rig.ptys[0]->write("U");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Answered);
    rig.ptys[1]->write("U");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Answered);
    rig.port(1).recordSubmitted(7);
    rig.tick();
    for (int i = 0; i < 2; ++i) {
        rig.ptys[size_t(i)]->write("Q");
        QTRY_COMPARE(rig.port(i).state(), DownloadSequencer::Accepted);
    }
    rig.ptys[1]->write("R");
    QTRY_COMPARE(rig.port(1).state(), DownloadSequencer::Stored);
    rig.tick();
    QTRY_VERIFY(rig.port(1).paused());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rig.tick().at(1), QByteArray());
    QCOMPARE(rig.station.unconfirmed(), 1);

    rig.station.recordCommitted(7);
    QCOMPARE(rig.port(1).finished(), 1);
    QVERIFY(rig.port(1).paused());
    QVERIFY(!rig.station.isStopped());
    QCOMPARE(rig.eventNames(), (QStringList{rig.name(0) + " 1 started", rig.name(1) + " 1 started",
                                            rig.name(1) + " 1 finished"}));
}

// While records cannot be written the seeking port pauses at once and the one under way finishes its
// controller, then pauses too; both seek again when a write succeeds, and units number on.
void TestStationPort::failingRecordsPauseEveryPortTillTheyAreWritten() {
    Rig rig(2);
    QCOMPARE(rig.station.start(), 2);
    rig.tick();
    rig.ptys[0]->write("U");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Answered);
    rig.station.setRecordsFailing(true, QStringLiteral("disk full"));
    QVERIFY(rig.port(1).paused());
    QCOMPARE(rig.tick(), (QList<QByteArray>{frameBytes(rig.set.frame), QByteArray()}));
    rig.ptys[0]->write("Q");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Accepted);
    rig.ptys[0]->write("R");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Stored);
    rig.tick();
    QTRY_VERIFY(rig.port(0).paused());
    QCOMPARE(rig.tick(), (QList<QByteArray>{QByteArray(), QByteArray()}));

    rig.station.setRecordsFailing(false);
    QVERIFY(rig.port(0).running() && rig.port(1).running());
    QCOMPARE(rig.tick(), (QList<QByteArray>{kSeek, kSeek}));
    rig.ptys[0]->write("U");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Answered);
    QCOMPARE(rig.eventNames(), (QStringList{rig.name(0) + " 1 started", rig.name(0) + " 1 finished",
                                            rig.name(0) + " 2 started"}));
    QCOMPARE(rig.port(0).finished(), 1);
}

// The controller has answered "R" when the stop comes: it has the frame, and is told finished, not
// cut short, by the tick that follows.
void TestStationPort::stopLetsAStoredControllerBeFinished() {
    Rig rig(1);
    QCOMPARE(rig.station.start(), 1);
    rig.tick();
    rig.ptys[0]->write("U");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Answered);
    rig.tick();
    rig.ptys[0]->write("Q");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Accepted);
    rig.ptys[0]->write("R");
    QTRY_COMPARE(rig.port(0).state(), DownloadSequencer::Stored);

    rig.station.stop();
    QTest::qWait(50);
    QVERIFY(!rig.station.isStopped());
    rig.tick();
    QTRY_VERIFY(rig.station.isStopped());
    QCOMPARE(rig.eventNames(), (QStringList{rig.name(0) + " 1 started", rig.name(0) + " 1 finished",
                                            rig.name(0) + " 1 stopped"}));
}

// A number finds its device as the port box does; a fixture's by-path link names the same device as
// its target, so the one device cannot be given twice under two names.
void TestStationPort::portsAreNamedAsThePortBoxAndTheLinksNameThem() {
    QTemporaryDir dev;
    QFile(dev.filePath(QStringLiteral("ttyACM1"))).open(QIODevice::WriteOnly);
    const PortChoice two = ResolvePort(QStringLiteral(" 2.4"), dev.path());
    QCOMPARE(two.device, dev.filePath(QStringLiteral("ttyACM1")));
    const PortChoice one = ResolvePort(QStringLiteral("1"), dev.path());
    QVERIFY(one.device.isEmpty());
    QVERIFY2(one.problem.startsWith(QStringLiteral("This Comm is no use,please try others! ")),
             qPrintable(one.problem));
    QVERIFY(one.problem.contains(dev.filePath(QStringLiteral("ttyUSB0"))));

    test::Pty pty;
    QVERIFY(QDir(dev.path()).mkpath(QStringLiteral("serial/by-path")));
    const QString link = dev.filePath(QStringLiteral("serial/by-path/pci-0000:00:14.0-usb-0:1.2:1.0-port0"));
    QVERIFY(QFile::link(pty.slavePath(), link));
    QCOMPARE(DeviceIdentity(link), DeviceIdentity(pty.slavePath()));
    QVERIFY(DeviceIdentity(link) != DeviceIdentity(dev.filePath(QStringLiteral("ttyACM1"))));
    const auto devices = ListSerialDevices(dev.filePath(QStringLiteral("serial")), dev.path());
    const auto it = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) {
        return d.device == DeviceIdentity(pty.slavePath());
    });
    QVERIFY(it != devices.end());
    QCOMPARE(it->byPath, QStringList{link});
    QCOMPARE(it->number, 0);
}

QTEST_GUILESS_MAIN(TestStationPort)
#include "tst_stationport.moc"

namespace {

// What a port wrote, with the time each part was seen, looked at every few milliseconds.
struct Written {
    qint64 ms;
    QByteArray bytes;
};

// Until the condition holds or the time is up.
QList<Written> watchFor(test::Pty& pty, const QElapsedTimer& clock, int ms,
                        const std::function<bool(const QList<Written>&)>& until) {
    QList<Written> seen;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms && !until(seen)) {
        QTest::qWait(5);
        if (const QByteArray bytes = pty.takeWritten(); !bytes.isEmpty())
            seen << Written{clock.elapsed(), bytes};
    }
    return seen;
}

} // namespace

// Scanned, a unit that failed is watched for with one "8" a second and nothing else; scanning its own
// serial tries it again once a second has passed since the last probe; the unit that then finishes is
// watched for until three probes in a row go unanswered, and counted taken out.
void TestStationPort::removalWatchProbesOnceASecond() {
    Rig rig(1);
    StationPort& port = rig.port(0);
    test::Pty& pty = *rig.ptys[0];
    QStringList told;
    QObject::connect(&rig.station, &Station::removeUnit, &rig.station,
                     [&told](const QString&, const QString& serial) { told << "remove " + serial; });
    QObject::connect(&rig.station, &Station::unitRemoved, &rig.station, [&told] { told << "removed"; });
    port.setScanned(true);
    QCOMPARE(rig.station.start(), 1);
    QCOMPARE(PhaseOf(port), PortPhase::WaitingForScan);
    port.arm(QStringLiteral("S1"), false);
    rig.station.rebalance();
    QCOMPARE(rig.tick(), QList<QByteArray>{kSeek});
    pty.write("U");
    QTRY_COMPARE(port.state(), DownloadSequencer::Answered);
    QCOMPARE(rig.tick(), QList<QByteArray>{frameBytes(rig.set.frame)});
    // The unit fails; the watch runs on its own timer from here on.
    port.setManualTicks(false);
    QElapsedTimer clock;
    clock.start();
    pty.write("X");
    QTRY_VERIFY(port.watching());
    QCOMPARE(PhaseOf(port), PortPhase::RemoveUnit);
    QCOMPARE(PortStateName(port), QStringLiteral("Remove"));
    QVERIFY(!port.mayRun());
    QCOMPARE(told, QStringList{"remove S1"});

    // The first probe is answered, the second is not; the same serial is then scanned again.
    const auto anything = [](const QList<Written>& seen) { return !seen.isEmpty(); };
    QList<Written> seen = watchFor(pty, clock, 5000, anything);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].bytes, kSeek);
    QVERIFY2(seen[0].ms >= 900, qPrintable(QString::number(seen[0].ms)));
    pty.write("U");
    QList<Written> probes = seen;
    seen = watchFor(pty, clock, 5000, anything);
    probes += seen;
    QCOMPARE(PhaseOf(port), PortPhase::RemoveUnit);
    port.arm(QStringLiteral("S1"), false);
    QCOMPARE(PhaseOf(port), PortPhase::Seeking);
    QVERIFY(!port.running());

    // The seek of the retry begins a second after the last probe at the earliest; it is answered.
    seen = watchFor(pty, clock, 5000, anything);
    QVERIFY(port.running());
    QVERIFY(!port.watching());
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen[0].bytes.startsWith(kSeek));
    // Both times are when this side read the bytes; a loaded machine may read the probe late, so
    // the gap is checked with room for that, while a seek that did not wait would show about 0.
    QVERIFY2(seen[0].ms - probes.last().ms >= 700,
             qPrintable(QString::number(seen[0].ms - probes.last().ms)));
    pty.write("U");
    seen = watchFor(pty, clock, 5000,
                    [&port](const QList<Written>&) { return port.state() == DownloadSequencer::FrameSent; });
    pty.write("Q");
    QTRY_COMPARE(port.state(), DownloadSequencer::Accepted);
    const qint64 ended = clock.elapsed(); // the unit ends once "R" has come, no sooner
    pty.write("R");
    QTRY_VERIFY(port.watching());
    QCOMPARE(told, (QStringList{"remove S1", "remove S1"}));

    // Taken out: three probes go unanswered, a second apart, and nothing else is written.
    probes = watchFor(pty, clock, 10000, [&port](const QList<Written>&) { return !port.watching(); });
    QCOMPARE(told, (QStringList{"remove S1", "remove S1", "removed"}));
    QCOMPARE(probes.size(), RemovalWatch::kUnansweredProbes);
    qint64 last = ended;
    for (const Written& probe : probes) {
        QCOMPARE(probe.bytes, kSeek);
        QVERIFY2(probe.ms - last >= 900, qPrintable(QString::number(probe.ms - last)));
        last = probe.ms;
    }
    QVERIFY(clock.elapsed() - last >= 900);
    QCOMPARE(PhaseOf(port), PortPhase::Finished);
    QVERIFY(!port.mayRun());
    QCOMPARE(rig.eventNames(), (QStringList{rig.name(0) + " 1 started", rig.name(0) + " 1 transmit-failure",
                                            rig.name(0) + " 2 started", rig.name(0) + " 2 finished"}));
    rig.station.stop();
    QTRY_VERIFY(rig.station.isStopped());
}
