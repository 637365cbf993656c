#include "station/ScanArbiter.h"

#include <QSet>
#include <QTest>

using namespace qt2xx;

class TestScanArbiter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void armsSlotsByTheRules();
};

namespace {

// What a scan did, as one text: "armed 2", "rework 1", "ignored" or the reason it was refused.
QString scan(ScanArbiter& arbiter, const char* line) {
    const ScanArbiter::Scan s = arbiter.scan(QString::fromLatin1(line));
    switch (s.outcome) {
    case ScanArbiter::Outcome::Armed:
        return QStringLiteral("%1 %2").arg(s.rework ? "rework" : "armed").arg(s.slot);
    case ScanArbiter::Outcome::Refused:
        return s.reason;
    case ScanArbiter::Outcome::Ignored:
        break;
    }
    return QStringLiteral("ignored");
}

} // namespace

// Three slots, an order that needs four units with serials, a database that knows one finished
// unit: a whole run of scans, checked after each step.
void TestScanArbiter::armsSlotsByTheRules() {
    QStringList asked;
    auto alreadyFinished = [&asked](const QString& serial) {
        asked << serial;
        return serial == QLatin1String("QT2C-00000009");
    };
    ScanArbiter a(3, QStringLiteral("^QT2C-[0-9]{8}$"), alreadyFinished, false, 4);

    QCOMPARE(a.nextSlot(), 1);
    QVERIFY(a.wantsInput());
    QCOMPARE(scan(a, "   "), QStringLiteral("ignored"));
    QCOMPARE(scan(a, "  QT2C-00000001\r"), QStringLiteral("armed 1"));
    QCOMPARE(a.serial(1), QStringLiteral("QT2C-00000001"));
    QCOMPARE(a.nextSlot(), 2);
    QCOMPARE(scan(a, "QT2C-1"),
             QStringLiteral("QT2C-1 does not match the order's serial pattern ^QT2C-[0-9]{8}$."));
    QVERIFY(scan(a, "xQT2C-00000002").contains(QLatin1String("does not match"))); // matched whole
    QCOMPARE(scan(a, "QT2C-00000001"), QStringLiteral("QT2C-00000001 is already armed on slot 1."));
    QCOMPARE(scan(a, "QT2C-00000009"), QStringLiteral("QT2C-00000009 already has a finished record."));
    QCOMPARE(asked, QStringList({QStringLiteral("QT2C-00000001"), QStringLiteral("QT2C-00000009")}));
    QCOMPARE(scan(a, "QT2C-00000002"), QStringLiteral("armed 2"));
    QCOMPARE(scan(a, "QT2C-00000003"), QStringLiteral("armed 3"));
    QVERIFY(!a.wantsInput());
    QCOMPARE(scan(a, "QT2C-00000004"), QStringLiteral("Every slot is busy."));

    // Slot 2 fails: the next scan goes to it, and a failed serial may come again.
    a.unitEnded(2);
    QCOMPARE(a.nextSlot(), 2);
    QCOMPARE(scan(a, "QT2C-00000002"), QStringLiteral("armed 2"));
    // Slots 1 and 3 finish: two needed, two armed, so the free slots take no scan.
    a.unitEnded(1);
    a.setUnitsNeeded(3);
    QCOMPARE(scan(a, "QT2C-00000005"), QStringLiteral("armed 1"));
    a.unitEnded(3);
    a.setUnitsNeeded(2);
    QCOMPARE(a.nextSlot(), 0);
    QVERIFY(!a.wantsInput());
    QCOMPARE(scan(a, "QT2C-00000006"), QStringLiteral("The order needs no more units."));
    a.unitEnded(2); // failed: still two needed
    QCOMPARE(a.nextSlot(), 2);

    // End of input: armed slots finish their units, then the run is over.
    a.endOfInput();
    QVERIFY(!a.wantsInput());
    QCOMPARE(scan(a, "QT2C-00000006"), QStringLiteral("Scanning has ended."));
    QVERIFY(!a.finished());
    a.unitEnded(1);
    QVERIFY(a.finished());

    // Rework allowed: a finished serial arms and says so; without a pattern any label is taken.
    ScanArbiter rework(2, QString(), alreadyFinished, true);
    QCOMPARE(scan(rework, "QT2C-00000009"), QStringLiteral("rework 1"));
    QVERIFY(rework.isRework(1));
    QCOMPARE(scan(rework, "any label"), QStringLiteral("armed 2"));
    rework.setUnitsNeeded(0);
    QVERIFY(!rework.finished()); // complete, but two units still under way
    rework.unitEnded(1);
    rework.unitEnded(2);
    QVERIFY(rework.finished());
}

QTEST_GUILESS_MAIN(TestScanArbiter)
#include "tst_scanarbiter.moc"
