#include "station/ScanArbiter.h"

#include <QSet>
#include <QTest>

using namespace qt2xx;
using Outcome = ScanArbiter::Outcome;

class TestScanArbiter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void armsSlotsByTheRules();
};

// Three slots, an order of four units with serials, a database that knows one finished unit: a
// whole run of scans, checked after each step.
void TestScanArbiter::armsSlotsByTheRules() {
    const QString pattern = QStringLiteral("^QT2C-[0-9]{8}$");
    const QSet<QString> finishedInDatabase{QStringLiteral("QT2C-00000009")};
    QStringList asked;
    auto alreadyFinished = [&](const QString& serial) {
        asked << serial;
        return finishedInDatabase.contains(serial);
    };
    ScanArbiter arbiter(3, pattern, alreadyFinished, false, 4);
    auto expect = [&arbiter](const QString& line, Outcome outcome, int slot, const QString& reason = {}) {
        const ScanArbiter::Scan scan = arbiter.scan(line);
        if (scan.outcome != outcome || scan.slot != slot || !scan.reason.contains(reason))
            qWarning("scan \"%s\": slot %d, reason \"%s\"", qPrintable(line), scan.slot, qPrintable(scan.reason));
        return scan.outcome == outcome && scan.slot == slot && scan.reason.contains(reason);
    };

    QCOMPARE(arbiter.nextSlot(), 1);
    QVERIFY(arbiter.wantsInput());
    QVERIFY(!arbiter.finished());
    QVERIFY(expect(QStringLiteral("   "), Outcome::Ignored, 0));
    QVERIFY(expect(QStringLiteral("  QT2C-00000001\r"), Outcome::Armed, 1));
    QCOMPARE(arbiter.serial(1), QStringLiteral("QT2C-00000001"));
    QCOMPARE(arbiter.nextSlot(), 2);
    QVERIFY(expect(QStringLiteral("QT2C-1"), Outcome::Refused, 0,
                   QStringLiteral("QT2C-1 does not match the order's serial pattern ^QT2C-[0-9]{8}$.")));
    QVERIFY(expect(QStringLiteral("xQT2C-00000002"), Outcome::Refused, 0, QStringLiteral("does not match")));
    QVERIFY(expect(QStringLiteral("QT2C-00000001"), Outcome::Refused, 0,
                   QStringLiteral("QT2C-00000001 is already armed on slot 1.")));
    QVERIFY(expect(QStringLiteral("QT2C-00000009"), Outcome::Refused, 0,
                   QStringLiteral("QT2C-00000009 already has a finished record.")));
    // Only scans that pass every other rule are looked up.
    QCOMPARE(asked, (QStringList{QStringLiteral("QT2C-00000001"), QStringLiteral("QT2C-00000009")}));
    QVERIFY(expect(QStringLiteral("QT2C-00000002"), Outcome::Armed, 2));
    QVERIFY(expect(QStringLiteral("QT2C-00000003"), Outcome::Armed, 3));
    QCOMPARE(arbiter.armedCount(), 3);
    QCOMPARE(arbiter.nextSlot(), 0);
    QVERIFY(!arbiter.wantsInput());
    QVERIFY(expect(QStringLiteral("QT2C-00000004"), Outcome::Refused, 0, QStringLiteral("Every slot is busy.")));

    // Slot 2 ends first, whatever its outcome: the next scan goes to it, a failed serial may come again.
    arbiter.unitEnded(2);
    QVERIFY(!arbiter.isArmed(2));
    QCOMPARE(arbiter.nextSlot(), 2);
    QVERIFY(expect(QStringLiteral("QT2C-00000002"), Outcome::Armed, 2));

    // Slot 1 finished its unit: three still needed, two armed.
    arbiter.unitEnded(1);
    arbiter.setUnitsNeeded(3);
    QVERIFY(expect(QStringLiteral("QT2C-00000005"), Outcome::Armed, 1));
    // Slot 3 finished too: two needed, two armed, so the free slot takes no scan.
    arbiter.unitEnded(3);
    arbiter.setUnitsNeeded(2);
    QCOMPARE(arbiter.nextSlot(), 0);
    QVERIFY(!arbiter.wantsInput());
    QVERIFY(expect(QStringLiteral("QT2C-00000006"), Outcome::Refused, 0,
                   QStringLiteral("The order needs no more units.")));
    arbiter.unitEnded(2); // failed: still two needed
    QCOMPARE(arbiter.nextSlot(), 2);
    QVERIFY(arbiter.wantsInput());

    // End of input: armed slots finish their units, then the run is over.
    arbiter.endOfInput();
    QVERIFY(!arbiter.wantsInput());
    QVERIFY(expect(QStringLiteral("QT2C-00000006"), Outcome::Refused, 0, QStringLiteral("Scanning has ended.")));
    QVERIFY(!arbiter.finished());
    arbiter.unitEnded(1);
    QVERIFY(arbiter.finished());

    // Rework allowed: a finished serial arms and says so; without a pattern any serial is taken.
    ScanArbiter rework(2, QString(), alreadyFinished, true);
    const ScanArbiter::Scan again = rework.scan(QStringLiteral("QT2C-00000009"));
    QCOMPARE(again.outcome, Outcome::Armed);
    QVERIFY(again.rework);
    QVERIFY(rework.isRework(1));
    const ScanArbiter::Scan fresh = rework.scan(QStringLiteral("any label"));
    QCOMPARE(fresh.slot, 2);
    QVERIFY(!fresh.rework);
    rework.setUnitsNeeded(0);
    QVERIFY(!rework.finished()); // two units still under way
    rework.unitEnded(1);
    rework.unitEnded(2);
    QVERIFY(rework.finished());
}

QTEST_GUILESS_MAIN(TestScanArbiter)
#include "tst_scanarbiter.moc"
