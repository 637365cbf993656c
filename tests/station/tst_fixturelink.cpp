#include "station/FixtureLink.h"
#include "support/ModbusModule.h"
#include "support/SilentServer.h"

#include <QSignalSpy>
#include <QTest>

using namespace qt2xx;
using qt2xx::test::ModbusModule;

namespace {

// Generous: a bound on a failure, never a measure of speed.
constexpr int kPatienceMs = 15000;

// Two slots with lamps on coils 0-5 and contacts on inputs 0-1, the stack light on coils 48-51.
Fixture twoSlots(const QString& modbus) {
    Fixture fixture;
    fixture.modbus = ReadModbusAddress(modbus).value();
    fixture.slots = {FixtureSlot{0, 1, 2, 0}, FixtureSlot{3, 4, 5, 1}};
    fixture.stack = FixtureStack{48, 49, 50, 51};
    return fixture;
}

FixtureOutputs outputs(SlotLamps first, SlotLamps second, StackLamps stack) {
    return FixtureOutputs{{first, second}, stack};
}

// The coils the fixture owns that are on, in the order of its coils.
QList<int> lit(const ModbusModule& module, const Fixture& fixture) {
    QList<int> on;
    for (const quint16 coil : fixture.coils()) {
        if (module.coil(coil))
            on << coil;
    }
    return on;
}

// A link to the module's two slots, listened to from before it starts.
struct LinkRig {
    explicit LinkRig(const ModbusModule& module)
        : fixture(twoSlots(module.address())), link(fixture), presence(&link, &FixtureLink::presenceChanged),
          away(&link, &FixtureLink::moduleAway), back(&link, &FixtureLink::moduleBack) {}

    const Fixture fixture;
    FixtureLink link;
    QSignalSpy presence;
    QSignalSpy away;
    QSignalSpy back;
};

constexpr SlotLamps kOff{};
constexpr SlotLamps kBusy{true, false, false};
constexpr SlotLamps kPass{false, true, false};
constexpr SlotLamps kFail{false, false, true};

} // namespace

class TestFixtureLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void drivesCoilsReadsContactsAndLeavesThemSafe();
    void moduleStoppedAndStartedAgain();
    void silentModuleIsAwayAndShutdownEnds();
};

void TestFixtureLink::drivesCoilsReadsContactsAndLeavesThemSafe() {
    ModbusModule module;
    QVERIFY(module.start());
    LinkRig rig(module);
    auto& [fixture, link, presence, away, back] = rig;
    link.start();

    // Both contacts are told once read, open.
    QTRY_COMPARE_WITH_TIMEOUT(presence.size(), 2, kPatienceMs);
    QCOMPARE(presence.at(0), (QVariantList{1, false}));
    QCOMPARE(presence.at(1), (QVariantList{2, false}));
    QCOMPARE(link.contact(1), FixtureLink::Contact::Open);

    link.setOutputs(outputs(kBusy, kOff, {true, false, false}));
    QTRY_COMPARE_WITH_TIMEOUT(lit(module, fixture), (QList<int>{0, 48}), kPatienceMs);
    link.setOutputs(outputs(kPass, kFail, {true, false, true}));
    QTRY_COMPARE_WITH_TIMEOUT(lit(module, fixture), (QList<int>{1, 5, 48, 50}), kPatienceMs);

    // The same state told again writes nothing, and a burst of changes is coalesced: once the last
    // change is on the module, only a handful of coils were written for forty changes.
    int before = module.coilsWritten();
    for (int i = 0; i < 3; ++i)
        link.setOutputs(outputs(kPass, kFail, {true, false, true}));
    for (int i = 0; i < 40; ++i)
        link.setOutputs(outputs(kPass, i % 2 ? kFail : SlotLamps{true, false, true}, {true, false, true}));
    link.setOutputs(outputs(kPass, SlotLamps{true, false, true}, {true, false, true}));
    QTRY_COMPARE_WITH_TIMEOUT(lit(module, fixture), (QList<int>{1, 3, 5, 48, 50}), kPatienceMs);
    QVERIFY2(module.coilsWritten() - before <= 2,
             qPrintable(QString::number(module.coilsWritten() - before)));

    // The buzzer sounds for its pulse, then stops by itself.
    link.pulseBuzzer(FixtureSignals::kRefusedScanBuzz);
    QTRY_VERIFY_WITH_TIMEOUT(module.coil(51), kPatienceMs);
    QTRY_VERIFY_WITH_TIMEOUT(!module.coil(51), kPatienceMs);

    // A unit set in slot 2 closes its contact; taken out, it opens.
    module.setInput(1, true);
    QTRY_COMPARE_WITH_TIMEOUT(presence.size(), 3, kPatienceMs);
    QCOMPARE(presence.last(), (QVariantList{2, true}));
    QCOMPARE(link.contact(2), FixtureLink::Contact::Closed);
    QCOMPARE(link.contact(1), FixtureLink::Contact::Open);
    module.setInput(1, false);
    QTRY_COMPARE_WITH_TIMEOUT(presence.size(), 4, kPatienceMs);
    QCOMPARE(presence.last(), (QVariantList{2, false}));

    // Shut down with the buzzer sounding and lamps lit: everything off but red, confirmed.
    link.pulseBuzzer(std::chrono::seconds(30));
    QTRY_VERIFY_WITH_TIMEOUT(module.coil(51), kPatienceMs);
    QSignalSpy shutDown(&link, &FixtureLink::shutDown);
    link.shutdown();
    QTRY_COMPARE_WITH_TIMEOUT(shutDown.size(), 1, kPatienceMs);
    QCOMPARE(shutDown.at(0), (QVariantList{true}));
    QCOMPARE(lit(module, fixture), (QList<int>{50}));
    link.setOutputs(outputs(kBusy, kBusy, {true, true, false})); // too late: the safe state holds
    QTest::qWait(int(FixtureLink::kPollInterval.count()) * 3);
    QCOMPARE(lit(module, fixture), (QList<int>{50}));
    QCOMPARE(away.size(), 0);
}

void TestFixtureLink::moduleStoppedAndStartedAgain() {
    ModbusModule module;
    QVERIFY(module.start());
    LinkRig rig(module);
    auto& [fixture, link, presence, away, back] = rig;
    link.start();
    module.setInput(0, true);
    link.setOutputs(outputs(kPass, kOff, {true, false, false}));
    QTRY_COMPARE_WITH_TIMEOUT(lit(module, fixture), (QList<int>{1, 48}), kPatienceMs);
    QTRY_COMPARE_WITH_TIMEOUT(link.contact(1), FixtureLink::Contact::Closed, kPatienceMs);

    module.stop();
    QTRY_COMPARE_WITH_TIMEOUT(away.size(), 1, kPatienceMs);
    QVERIFY2(away.at(0).at(0).toString().contains(module.address()), qPrintable(away.at(0).at(0).toString()));
    QVERIFY(link.away());
    QCOMPARE(link.contact(1), FixtureLink::Contact::Unknown);

    // Told while away, written once it is back. The link retries meanwhile, and tells away once.
    link.setOutputs(outputs(kPass, kFail, {true, false, true}));
    link.pulseBuzzer(FixtureSignals::kFailureBuzz);
    QTest::qWait(int(FixtureLink::kRetryInterval.count()) * 2);
    QCOMPARE(away.size(), 1);
    QCOMPARE(back.size(), 0);

    // A module that restarted holds nothing: every lamp is written again, and the contacts told again.
    presence.clear();
    module.setInput(0, false); // no server: a no-op
    QVERIFY(module.start());
    module.setInput(0, true);
    QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, kPatienceMs);
    QVERIFY(!link.away());
    QCOMPARE(lit(module, fixture), (QList<int>{1, 5, 48, 50})); // no late buzz
    QCOMPARE(presence.size(), 2);
    QVERIFY(presence.contains(QVariantList{1, true}));
    QCOMPARE(away.size(), 1);

    // Shutdown with the module away ends without the safe state, and without hanging.
    module.stop();
    QTRY_COMPARE_WITH_TIMEOUT(away.size(), 2, kPatienceMs);
    QSignalSpy shutDown(&link, &FixtureLink::shutDown);
    link.shutdown();
    QTRY_COMPARE_WITH_TIMEOUT(shutDown.size(), 1, kPatienceMs);
    QCOMPARE(shutDown.at(0), (QVariantList{false}));
}

void TestFixtureLink::silentModuleIsAwayAndShutdownEnds() {
    test::SilentServer silent;
    QVERIFY(silent.port() != 0);
    FixtureLink link(twoSlots(QStringLiteral("tcp://127.0.0.1:%1").arg(silent.port())));
    QSignalSpy away(&link, &FixtureLink::moduleAway);
    QSignalSpy shutDown(&link, &FixtureLink::shutDown);
    link.start();
    link.setOutputs(outputs(kBusy, kOff, {true, false, false}));
    QTRY_COMPARE_WITH_TIMEOUT(away.size(), 1, kPatienceMs);
    QVERIFY2(away.at(0).at(0).toString().contains(QStringLiteral("does not answer")),
             qPrintable(away.at(0).at(0).toString()));

    // Connected again but never answered: the bound ends the wait.
    link.shutdown(FixtureLink::kReplyTimeout / 2);
    QTRY_COMPARE_WITH_TIMEOUT(shutDown.size(), 1, kPatienceMs);
    QCOMPARE(shutDown.at(0), (QVariantList{false}));
}

QTEST_GUILESS_MAIN(TestFixtureLink)
#include "tst_fixturelink.moc"
