// qt2xx-station run as a script runs it, with --fixture: four virtual controllers, one that refuses
// its frame, and the fixture's I/O module on a local port, served by this test's event loop.
#include "support/BuildPaths.h"
#include "support/FixtureRig.h"
#include "support/OrderFile.h"
#include "support/SimProcess.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace qt2xx::test;

constexpr int kWait = 30000;
const QString kStation = ProgramPath(u"qt2xx-station");
const QString kSetFile = TestDataPath(u"frame/worked-example.asv");

constexpr quint16 kGreen = TestFixture::kGreen, kAmber = TestFixture::kAmber, kRed = TestFixture::kRed,
                  kBuzzer = TestFixture::kBuzzer, kContact = TestFixture::kContact;
quint16 busy(int slot) {
    return TestFixture::busy(slot);
}
quint16 pass(int slot) {
    return TestFixture::pass(slot);
}
quint16 fail(int slot) {
    return TestFixture::fail(slot);
}

QByteArray serial(int i) {
    return SerialLines(i, 1).trimmed();
}

} // namespace

class TestFixtureStation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fixtureFollowsARun();
};

// One run over the whole path: the lamps and the stack light follow a failure and two good units,
// the buzzer sounds for the failure and for a refused scan, the contact slot takes a serial only
// while its contact is closed, counts its unit gone when it opens and drops the serial of a unit
// taken out before it was programmed, the module is lost and found again mid-run, and the fixture is
// left safe when the scans end.
void TestFixtureStation::fixtureFollowsARun() {
    QTemporaryDir dir;
    ModbusModule module;
    QVERIFY(module.start());
    CoilLog seen(module);
    const QString set = dir.filePath(QStringLiteral("qt2c.asv"));
    QVERIFY(QFile::copy(kSetFile, set));
    // Slot 1's controller answers nothing for a while after its first unit is programmed, as the
    // next unit put in, taken out before it could answer.
    SimProcess p1({QStringLiteral("--swap"), QStringLiteral("10000")}),
        p2({QStringLiteral("--reject-frame")}), p3, p4;
    const QStringList devices{p1.device(), p2.device(), p3.device(), p4.device()};
    JsonProgram station(
        kStation, QStringList{QStringLiteral("--order"), WriteOrderFile(set, 10), QStringLiteral("--json"),
                              QStringLiteral("--record=") + dir.filePath(QStringLiteral("r.sqlite")),
                              QStringLiteral("--fixture"),
                              TestFixture::write(dir.filePath(QStringLiteral("fixture.json")), module, 4)} +
                      devices);
    const auto device = [&station](qsizetype armed) {
        return station.events(QStringLiteral("armed")).value(armed)[QStringLiteral("device")].toString();
    };

    // Every slot waits for a scan: amber alone.
    QVERIFY2(SpinUntil([&] { return module.coil(kAmber); }, kWait), qPrintable(station.story()));
    QVERIFY(!module.coil(kGreen) && !module.coil(kRed));

    // No unit in slot 1: the first serial arms slot 2, whose controller refuses its frame.
    station.writeLine(serial(1));
    QVERIFY(station.waitFor(QStringLiteral("armed"), 1));
    QCOMPARE(device(0), devices[1]);
    QVERIFY(station.waitFor(QStringLiteral("transmit-failure"), 1, devices[1]));
    QVERIFY(SpinUntil([&] { return module.coil(fail(2)) && module.coil(kRed); }, kWait));
    QVERIFY(seen.seenOn(kGreen));
    QVERIFY(seen.seenOn(kBuzzer));
    QVERIFY(!module.coil(pass(2)));
    QVERIFY(SpinUntil([&] { return !module.coil(kBuzzer); }, kWait)); // a brief pulse

    // Slots 3 and 4 finish their units; the failure stays red, the units to take out amber.
    for (int slot = 3; slot <= 4; ++slot) {
        seen.clear();
        station.writeLine(serial(slot - 1));
        QVERIFY(station.waitFor(QStringLiteral("finished"), 1, devices[slot - 1]));
        QVERIFY(SpinUntil([&] { return module.coil(pass(slot)) && !module.coil(busy(slot)); }, kWait));
        QVERIFY(seen.seenOn(busy(slot)));
        QVERIFY(!seen.seenOn(fail(slot)));
        QVERIFY(!seen.seenOn(kBuzzer));
    }
    QVERIFY(module.coil(fail(2)) && module.coil(kRed) && module.coil(kAmber));

    // Every unit is still in and slot 1 is empty: the scan is refused, and the buzzer says so.
    seen.clear();
    station.writeLine(serial(4));
    QVERIFY(station.waitFor(QStringLiteral("scan-refused"), 1));
    QVERIFY(SpinUntil([&] { return seen.seenOn(kBuzzer); }, kWait));

    // A unit put in slot 1 closes its contact: the same serial arms it now.
    module.setInput(kContact, true);
    Spin(1000);
    station.writeLine(serial(4));
    QVERIFY(station.waitFor(QStringLiteral("armed"), 4));
    QCOMPARE(device(3), devices[0]);
    QVERIFY(station.waitFor(QStringLiteral("finished"), 1, devices[0]));
    QVERIFY(station.waitFor(QStringLiteral("remove-unit"), 1, devices[0]));
    QVERIFY(SpinUntil([&] { return module.coil(pass(1)); }, kWait));

    // Programmed and still in its slot, the unit takes no second serial; its contact opening counts
    // it taken out, as the removal watch would.
    station.writeLine(serial(5));
    QVERIFY(station.waitFor(QStringLiteral("scan-refused"), 2));
    QVERIFY(station.events(QStringLiteral("unit-removed")).isEmpty());
    module.setInput(kContact, false);
    QVERIFY2(station.waitFor(QStringLiteral("unit-removed"), 1, devices[0]), qPrintable(station.story()));

    // The next unit is scanned, then taken out before its controller answered: the slot drops the
    // serial rather than give it to whichever unit comes next, with no unit and no record.
    module.setInput(kContact, true);
    Spin(1000);
    station.writeLine(serial(5));
    QVERIFY(station.waitFor(QStringLiteral("armed"), 5));
    QCOMPARE(device(4), devices[0]);
    module.setInput(kContact, false);
    QVERIFY2(station.waitFor(QStringLiteral("scan-dropped"), 1), qPrintable(station.story()));
    const QJsonObject dropped = station.events(QStringLiteral("scan-dropped")).constFirst();
    QCOMPARE(dropped[QStringLiteral("device")].toString(), devices[0]);
    QCOMPARE(dropped[QStringLiteral("slot")].toInt(), 1);
    QCOMPARE(dropped[QStringLiteral("serial")].toString(), QString::fromLatin1(serial(5)));
    QVERIFY(dropped[QStringLiteral("reason")].toString().contains(QStringLiteral("scan it again")));
    module.setInput(kContact, true);

    // The module goes away: a contact that cannot be read takes no serial. It comes back restarted,
    // with every coil off: told once each way, every lamp is written again.
    module.stop();
    QVERIFY(station.waitFor(QStringLiteral("fixture-away"), 1));
    station.writeLine(serial(5));
    QVERIFY(station.waitFor(QStringLiteral("scan-refused"), 3));
    QVERIFY(module.start());
    module.setInput(kContact, true);
    QVERIFY2(station.waitFor(QStringLiteral("fixture-back"), 1), qPrintable(station.story()));
    QVERIFY(SpinUntil(
        [&] {
            return module.coil(pass(1)) && module.coil(fail(2)) && module.coil(pass(3)) &&
                   module.coil(pass(4)) && module.coil(kRed);
        },
        kWait));
    station.writeLine(serial(5));
    QVERIFY(station.waitFor(QStringLiteral("armed"), 6));
    QCOMPARE(device(5), devices[0]);
    QVERIFY(station.waitFor(QStringLiteral("finished"), 2, devices[0]));
    QCOMPARE(station.events(QStringLiteral("finished"), devices[0])
                 .constLast()[QStringLiteral("serial")]
                 .toString(),
             QString::fromLatin1(serial(5)));
    QCOMPARE(station.events(QStringLiteral("started"), devices[0]).size(), 2);

    // The scans end: the station stops once the last unit is in, and leaves the fixture safe.
    station.closeInput();
    QVERIFY2(station.waitForExit(), qPrintable(station.story()));
    QCOMPARE(station.exitCode(), 1);
    QCOMPARE(station.events(QStringLiteral("fixture-away")).size(), 1);
    QCOMPARE(station.events(QStringLiteral("fixture-back")).size(), 1);
    QCOMPARE(station.events(QStringLiteral("scan-refused")).size(), 3);
    QCOMPARE(station.events(QStringLiteral("scan-dropped")).size(), 1);
    for (quint16 coil = 0; coil < ModbusModule::kCoils; ++coil)
        QVERIFY2(module.coil(coil) == (coil == kRed), qPrintable(QString::number(coil)));
}

QTEST_GUILESS_MAIN(TestFixtureStation)
#include "tst_fixturestation.moc"
