#include "station/FixtureSignals.h"

#include <QTest>

using namespace qt2xx;

namespace {

const QHash<QString, SlotPhase> kPhases{{QStringLiteral("scan"), SlotPhase::WaitingForScan},
                                        {QStringLiteral("seek"), SlotPhase::Seeking},
                                        {QStringLiteral("prog"), SlotPhase::Programming},
                                        {QStringLiteral("done"), SlotPhase::Finished},
                                        {QStringLiteral("fail"), SlotPhase::Failed},
                                        {QStringLiteral("remove"), SlotPhase::UnitToRemove},
                                        {QStringLiteral("contact"), SlotPhase::ContactProblem}};

// The outputs as a row reads them: each slot's busy, pass and fail lamps, then the stack's green,
// amber and red, a letter where a lamp is lit: "b-- --f|g-r".
QString shown(const FixtureOutputs& out) {
    QStringList slots;
    for (const SlotLamps& s : out.slots) {
        slots << QString(QLatin1Char(s.busy ? 'b' : '-')) + QLatin1Char(s.pass ? 'p' : '-') +
                     QLatin1Char(s.fail ? 'f' : '-');
    }
    return slots.join(QLatin1Char(' ')) + QLatin1Char('|') + QLatin1Char(out.stack.green ? 'g' : '-') +
           QLatin1Char(out.stack.amber ? 'a' : '-') + QLatin1Char(out.stack.red ? 'r' : '-');
}

} // namespace

class TestFixtureSignals : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scenario_data();
    void scenario();
};

void TestFixtureSignals::scenario_data() {
    QTest::addColumn<QString>("steps"); // "SLOT:PHASE", or a condition, in order; two slots start seeking
    QTest::addColumn<QString>("lamps");
    QTest::addColumn<int>("buzzMs"); // the buzzer's time over all steps

    const int fail = int(FixtureSignals::kFailureBuzz.count());
    const int refused = int(FixtureSignals::kRefusedScanBuzz.count());
    QTest::newRow("busy while programming") << "1:prog"
                                            << "b-- ---|g--" << 0;
    QTest::newRow("pass kept while seeking the next") << "1:prog 1:done 1:seek"
                                                      << "-p- ---|g--" << 0;
    QTest::newRow("pass cleared when the next answers") << "1:prog 1:done 1:seek 1:prog"
                                                        << "b-- ---|g--" << 0;
    QTest::newRow("failure: fail lamp, red, buzz") << "1:prog 1:fail"
                                                   << "--f ---|g-r" << fail;
    QTest::newRow("failure kept through removal and scan") << "1:prog 1:fail 1:remove 1:scan"
                                                           << "--f ---|gar" << fail;
    QTest::newRow("a scan arms the next unit") << "1:prog 1:fail 1:remove 1:scan 1:seek"
                                               << "--- ---|g--" << fail;
    QTest::newRow("failure told twice buzzes once") << "1:prog 1:fail 1:fail"
                                                    << "--f ---|g-r" << fail;
    QTest::newRow("the next unit clears red") << "1:prog 1:fail 1:seek 1:prog"
                                              << "b-- ---|g--" << fail;
    QTest::newRow("records cannot be written") << "records-failing"
                                               << "--- ---|g-r" << 0;
    QTest::newRow("records written again") << "records-failing records-ok"
                                           << "--- ---|g--" << 0;
    QTest::newRow("rules cannot be kept") << "1:scan 2:scan rules-broken"
                                          << "--- ---|-ar" << 0;
    QTest::newRow("refused scan buzzes, no red") << "1:scan refused-scan"
                                                 << "--- ---|ga-" << refused;
    QTest::newRow("contact problem is red") << "1:contact"
                                            << "--- ---|g-r" << 0;
    QTest::newRow("slots out of range ignored") << "3:fail 0:prog"
                                                << "--- ---|g--" << 0;
}

void TestFixtureSignals::scenario() {
    QFETCH(QString, steps);
    QFETCH(QString, lamps);
    QFETCH(int, buzzMs);

    FixtureSignals rules(2);
    std::chrono::milliseconds buzz{0};
    for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = step.split(QLatin1Char(':'));
        if (parts.size() == 2) {
            QVERIFY2(kPhases.contains(parts[1]), qPrintable(step));
            buzz += rules.setPhase(parts[0].toInt(), kPhases.value(parts[1]));
        } else if (step == QLatin1String("refused-scan")) {
            buzz += rules.scanRefused();
        } else if (step.startsWith(QLatin1String("records-"))) {
            rules.setRecordsFailing(step == QLatin1String("records-failing"));
        } else {
            QVERIFY2(step.startsWith(QLatin1String("rules-")), qPrintable(step));
            rules.setRulesBroken(step == QLatin1String("rules-broken"));
        }
    }
    QCOMPARE(shown(rules.outputs()), lamps);
    QCOMPARE(int(buzz.count()), buzzMs);
}

QTEST_GUILESS_MAIN(TestFixtureSignals)
#include "tst_fixturesignals.moc"
