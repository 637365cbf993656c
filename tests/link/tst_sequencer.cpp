#include "support/SequencerHarness.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;
using Flag = DownloadSequencer::CommFlag;

namespace {

const QByteArray kSeek = QByteArrayLiteral("8");

// One tick, and what it wrote to the device.
QByteArray tick(SequencerRig& rig) {
    rig.sequencer.Timer1_Timer();
    return rig.pty.takeWritten();
}

// Sends a chunk from the controller and waits, pumping events, until the port has raised its event.
bool answer(SequencerRig& rig, const QByteArray& chunk) {
    QSignalSpy events(&rig.port, &CommPort::onComm);
    return rig.pty.write(chunk) && events.wait(5000);
}

// Starts a run and drives it to the given state, with one tick in the frame-sent state on the way to
// acceptance; the counter is left at 0.
bool driveTo(SequencerRig& rig, Flag state) {
    if (rig.sequencer.intCommFlag() == DownloadSequencer::Idle)
        rig.sequencer.cmdFileSend_Click();
    if (tick(rig) != kSeek || !answer(rig, "U"))
        return false;
    if (state >= DownloadSequencer::FrameSent && tick(rig) != frameBytes(rig.frame))
        return false;
    if (state >= DownloadSequencer::Accepted && (tick(rig) != QByteArray() || !answer(rig, "Q")))
        return false;
    if (state >= DownloadSequencer::Stored && !answer(rig, "R"))
        return false;
    return rig.sequencer.intCommFlag() == state;
}

QByteArray expectedFrame(const FakeWindow& window) {
    ParameterValues values;
    for (int i = 0; i < kParameterCount; ++i)
        values[i] = window.combos[i];
    DownloadFrame frame{};
    if (BuildDownloadFrame(values, frame))
        return {};
    return frameBytes(frame);
}

} // namespace

class TestSequencer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startShowsTheRunningControls();
    void seeksInAThreeTickCycleFromAFreshCounter();
    void newRunKeepsTheCounterOfTheLastOne_data();
    void newRunKeepsTheCounterOfTheLastOne();
    void chunksWhileSeekingKeepThePortOpen();
    void programsOneControllerAndSeeksTheNext();
    void acceptanceTimesOutOnTheThirdTickAfterTheFrame();
    void storageTimesOutOnTheTwelfthTickAfterAcceptance();
    void wrongAnswersAreReportedAndTheRunGoesOn_data();
    void wrongAnswersAreReportedAndTheRunGoesOn();
    void chunksInAnsweredAndStoredAreDropped_data();
    void chunksInAnsweredAndStoredAreDropped();
    void emptyReadOnlyResetsTheCounter_data();
    void emptyReadOnlyResetsTheCounter();
    void stopAbandonsTheExchangeQuietly_data();
    void stopAbandonsTheExchangeQuietly();
    void refusesASetWithoutAFrame();
    void lostPortIsLoggedOnceAndComesBack();
    void frameWriteOnAVanishedDeviceLosesThePort();
    void storedControllerIsFinishedThoughThePortVanished();
};

void TestSequencer::startShowsTheRunningControls() {
    SequencerRig rig;
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QVERIFY(rig.port.isPortOpen());
    QCOMPARE(rig.log.lines, (QList<LogLine>{LogLine{"Start Transmit", kLogBlue}}));
    QCOMPARE(rig.window.caption, kStopTransmit);
    QVERIFY(!rig.window.controlsEnabled);
    QCOMPARE(rig.window.timerSwitches, QList<bool>{true});
    QCOMPARE(frameBytes(rig.frame), expectedFrame(rig.window));
    QVERIFY(rig.boxes.shown.isEmpty());
    QCOMPARE(rig.pty.takeWritten(), QByteArray());
}

// "8" on the ticks that find the counter at 0, 1 or 2; the tick that finds 3 closes the port.
void TestSequencer::seeksInAThreeTickCycleFromAFreshCounter() {
    SequencerRig rig;
    rig.sequencer.cmdFileSend_Click();
    const QList<bool> writes{true, true, true, false, true, true, false, true, true, false};
    const QList<int> counters{1, 2, 3, 1, 2, 3, 1, 2, 3, 1};
    for (qsizetype i = 0; i < writes.size(); ++i) {
        const QByteArray written = tick(rig);
        QCOMPARE(written, writes[i] ? kSeek : QByteArray());
        QCOMPARE(rig.port.isPortOpen(), writes[i]);
        QCOMPARE(int(rig.sequencer.tickCounter()), counters[i]);
        QCOMPARE(rig.window.indicator, i % 2 == 1);
        QCOMPARE(rig.window.progress, 0.0f);
    }
    QCOMPARE(rig.log.lines.size(), 1);
}

void TestSequencer::newRunKeepsTheCounterOfTheLastOne_data() {
    QTest::addColumn<int>("waitingTicks");
    QTest::newRow("stopped at 2") << 2;
    QTest::newRow("stopped at 3") << 3;
    QTest::newRow("stopped at 11") << 11;
}

void TestSequencer::newRunKeepsTheCounterOfTheLastOne() {
    QFETCH(int, waitingTicks);
    SequencerRig rig;
    QVERIFY(driveTo(rig, DownloadSequencer::Accepted));
    for (int i = 0; i < waitingTicks; ++i)
        QCOMPARE(tick(rig), QByteArray());
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(int(rig.sequencer.tickCounter()), waitingTicks);

    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(int(rig.sequencer.tickCounter()), waitingTicks);
    if (waitingTicks >= 3) {
        QCOMPARE(tick(rig), QByteArray());
        QVERIFY(!rig.port.isPortOpen());
        QCOMPARE(int(rig.sequencer.tickCounter()), 1);
    }
    QCOMPARE(tick(rig), kSeek);
}

void TestSequencer::chunksWhileSeekingKeepThePortOpen() {
    SequencerRig rig;
    rig.sequencer.cmdFileSend_Click();
    for (int round = 0; round < 4; ++round) {
        QCOMPARE(tick(rig), kSeek);
        QCOMPARE(tick(rig), kSeek);
        QVERIFY(answer(rig, QByteArrayLiteral("\x00Unoise")));
        QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(0));
        QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    }
    QVERIFY(rig.port.isPortOpen());
    QCOMPARE(rig.log.lines.size(), 1);
}

void TestSequencer::programsOneControllerAndSeeksTheNext() {
    SequencerRig rig;
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(tick(rig), kSeek);
    QVERIFY(answer(rig, "U"));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Answered);
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(0));

    QCOMPARE(tick(rig), expectedFrame(rig.window));
    QCOMPARE(rig.window.progress, 50.0f);
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::FrameSent);
    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(rig.window.progress, 75.0f);

    QVERIFY(answer(rig, "Q"));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Accepted);
    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(rig.window.progress, 75.0f);
    QVERIFY(answer(rig, "R"));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Stored);

    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(rig.window.progress, 100.0f);
    QCOMPARE(rig.log.lines.last(), (LogLine{"Finished", kLogBlue}));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(1));
    QVERIFY(rig.port.isPortOpen());

    QCOMPARE(tick(rig), kSeek);
    QCOMPARE(rig.window.progress, 0.0f);
    QVERIFY(answer(rig, "U"));
    QCOMPARE(tick(rig), expectedFrame(rig.window));
    QCOMPARE(rig.log.texts(), (QStringList{"Start Transmit", "Finished"}));
}

void TestSequencer::acceptanceTimesOutOnTheThirdTickAfterTheFrame() {
    SequencerRig rig;
    QVERIFY(driveTo(rig, DownloadSequencer::FrameSent));
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(1));
    rig.window.timerSwitches.clear();
    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::FrameSent);
    QCOMPARE(rig.log.lines.size(), 1);

    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(rig.log.lines.last(), (LogLine{"No responce", kLogRed}));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(1));
    QCOMPARE(rig.window.progress, 75.0f);
    QCOMPARE(rig.window.timerSwitches, (QList<bool>{false, true}));
    QCOMPARE(tick(rig), kSeek);
}

void TestSequencer::storageTimesOutOnTheTwelfthTickAfterAcceptance() {
    SequencerRig rig;
    QVERIFY(driveTo(rig, DownloadSequencer::Accepted));
    rig.window.timerSwitches.clear();
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(tick(rig), QByteArray());
        QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Accepted);
    }
    QCOMPARE(rig.log.lines.size(), 1);
    QCOMPARE(rig.window.progress, 75.0f);

    QCOMPARE(tick(rig), QByteArray());
    QCOMPARE(rig.log.lines.last(), (LogLine{"No Storage responce", kLogRed}));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(1));
    QCOMPARE(rig.window.timerSwitches, (QList<bool>{false, true}));
}

void TestSequencer::wrongAnswersAreReportedAndTheRunGoesOn_data() {
    QTest::addColumn<Flag>("state");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<Flag>("nextState");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("wrong acceptance byte")
        << Flag::FrameSent << QByteArray("XQ") << Flag::Seeking << QStringList{kTransmitFailureMessage};
    QTest::newRow("late second U") << Flag::FrameSent << QByteArray("U") << Flag::Seeking
                                   << QStringList{kTransmitFailureMessage};
    QTest::newRow("wrong storage byte")
        << Flag::Accepted << QByteArray("Q") << Flag::Seeking << QStringList{kStorageFailureMessage};
    QTest::newRow("acceptance and storage in one chunk")
        << Flag::FrameSent << QByteArray("QR") << Flag::Accepted << QStringList{};
}

void TestSequencer::wrongAnswersAreReportedAndTheRunGoesOn() {
    QFETCH(Flag, state);
    QFETCH(QByteArray, chunk);
    QFETCH(Flag, nextState);
    QFETCH(QStringList, logged);
    SequencerRig rig;
    QVERIFY(driveTo(rig, state));
    QCOMPARE(tick(rig), QByteArray());
    QVERIFY(answer(rig, chunk));
    QCOMPARE(rig.sequencer.intCommFlag(), nextState);
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(0));
    QCOMPARE(rig.log.texts().mid(1), logged);
    for (const LogLine& line : rig.log.lines.mid(1))
        QCOMPARE(line.color, int(kLogRed));
    if (nextState == DownloadSequencer::Seeking)
        QCOMPARE(tick(rig), kSeek);
    QVERIFY(rig.port.isPortOpen());
}

void TestSequencer::chunksInAnsweredAndStoredAreDropped_data() {
    QTest::addColumn<Flag>("state");
    QTest::newRow("answered") << Flag::Answered;
    QTest::newRow("stored") << Flag::Stored;
}

// The dropped chunk must also be drained: the next answer is judged by its own first byte.
void TestSequencer::chunksInAnsweredAndStoredAreDropped() {
    QFETCH(Flag, state);
    SequencerRig rig;
    QVERIFY(driveTo(rig, state));
    QVERIFY(answer(rig, "XYZ"));
    QCOMPARE(rig.sequencer.intCommFlag(), state);
    QCOMPARE(rig.log.lines.size(), 1);
    if (state == DownloadSequencer::Answered) {
        QCOMPARE(tick(rig), expectedFrame(rig.window));
        QVERIFY(answer(rig, "Q"));
        QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Accepted);
    } else {
        QCOMPARE(tick(rig), QByteArray());
        QCOMPARE(rig.log.texts().last(), kFinishedMessage);
        QVERIFY(answer(rig, "U"));
        QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Answered);
    }
}

void TestSequencer::emptyReadOnlyResetsTheCounter_data() {
    QTest::addColumn<Flag>("state");
    QTest::newRow("seeking") << Flag::Seeking;
    QTest::newRow("frame sent") << Flag::FrameSent;
    QTest::newRow("accepted") << Flag::Accepted;
}

// An event whose read finds nothing: the handler is called again after the chunk has been read.
void TestSequencer::emptyReadOnlyResetsTheCounter() {
    QFETCH(Flag, state);
    SequencerRig rig;
    if (state == DownloadSequencer::Seeking) {
        rig.sequencer.cmdFileSend_Click();
        QCOMPARE(tick(rig), kSeek);
        QVERIFY(answer(rig, "x"));
    } else {
        QVERIFY(driveTo(rig, state));
    }
    QCOMPARE(tick(rig), state == DownloadSequencer::Seeking ? kSeek : QByteArray());
    QCOMPARE(tick(rig), state == DownloadSequencer::Seeking ? kSeek : QByteArray());
    QCOMPARE(rig.sequencer.intCommFlag(), state);
    QVERIFY(rig.sequencer.tickCounter() > 0);
    QCOMPARE(rig.port.commEvent(), int(kCommEventReceive));

    rig.sequencer.ctrMSComm_OnComm();
    QCOMPARE(rig.sequencer.tickCounter(), std::uint8_t(0));
    QCOMPARE(rig.sequencer.intCommFlag(), state);
    QCOMPARE(rig.log.lines.size(), 1);
}

void TestSequencer::stopAbandonsTheExchangeQuietly_data() {
    QTest::addColumn<Flag>("state");
    QTest::newRow("frame sent") << Flag::FrameSent;
    QTest::newRow("accepted") << Flag::Accepted;
}

void TestSequencer::stopAbandonsTheExchangeQuietly() {
    QFETCH(Flag, state);
    SequencerRig rig;
    QVERIFY(driveTo(rig, state));
    QCOMPARE(tick(rig), QByteArray());
    const std::uint8_t counter = rig.sequencer.tickCounter();
    rig.window.indicator = false;
    rig.window.comboReads = 0;

    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Idle);
    QCOMPARE(rig.log.lines.mid(1), (QList<LogLine>{LogLine{"The Comm is Closed", kLogBlue}}));
    QVERIFY(!rig.port.isPortOpen());
    QCOMPARE(rig.window.caption, kStartTransmit);
    QVERIFY(rig.window.controlsEnabled);
    QVERIFY(!rig.window.timerEnabled);
    QVERIFY(rig.window.indicator);
    QCOMPARE(rig.window.progress, 75.0f);
    QCOMPARE(rig.sequencer.tickCounter(), counter);
    QCOMPARE(rig.window.comboReads, 0);
    QVERIFY(rig.boxes.shown.isEmpty());
}

void TestSequencer::refusesASetWithoutAFrame() {
    SequencerRig rig;
    rig.window.combos[0] = QStringLiteral("1:QT2A");
    rig.window.combos[1] = QStringLiteral("370");
    rig.sequencer.cmdFileSend_Click();

    QCOMPARE(rig.boxes.shown.size(), 1);
    const QString text = rig.boxes.shown.front().text;
    QVERIFY2(text.contains("Phase Current") && text.contains("370") && text.contains("1:QT2A"),
             qPrintable(text));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Idle);
    QVERIFY(!rig.port.isPortOpen());
    QCOMPARE(rig.log.lines, (QList<LogLine>{LogLine{"The Comm is Closed", kLogBlue}}));
    QCOMPARE(rig.window.caption, kStartTransmit);
    QVERIFY(rig.window.controlsEnabled);
    QVERIFY(!rig.window.timerEnabled);
    QCOMPARE(frameBytes(rig.frame), QByteArray(kFrameSize, '\0'));
    QCOMPARE(rig.pty.takeWritten(), QByteArray());
}

// The port box names port 1, which the device directory links to one pty and then to another.
void TestSequencer::lostPortIsLoggedOnceAndComesBack() {
    QTemporaryDir devices;
    SequencerRig rig(devices.path());
    const QString link = devices.filePath(QStringLiteral("ttyUSB0"));
    QVERIFY(QFile::link(rig.pty.slavePath(), link));
    rig.window.portBox = QStringLiteral("1");
    QVERIFY(driveTo(rig, DownloadSequencer::Accepted));

    QSignalSpy events(&rig.port, &CommPort::onComm);
    rig.pty.close();
    QVERIFY(events.wait(5000));
    QCOMPARE(rig.log.lines.last(), (LogLine{"The Comm is lost", kLogRed}));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    for (int i = 0; i < 7; ++i)
        rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.texts(), (QStringList{"Start Transmit", "The Comm is lost"}));
    QVERIFY(rig.boxes.shown.isEmpty());

    Pty second;
    QVERIFY(QFile::remove(link) && QFile::link(second.slavePath(), link));
    QByteArray written;
    for (int i = 0; i < 3 && written.isEmpty(); ++i) {
        rig.sequencer.Timer1_Timer();
        written = second.takeWritten();
    }
    QCOMPARE(written, kSeek);
    QCOMPARE(rig.log.lines.last(), (LogLine{"The Comm is back", kLogBlue}));
    QVERIFY(second.write("U") && events.wait(5000));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Answered);
}

// No event is pumped between the loss and the tick, so the failed write itself must tell.
void TestSequencer::frameWriteOnAVanishedDeviceLosesThePort() {
    SequencerRig rig;
    QVERIFY(driveTo(rig, DownloadSequencer::Answered));
    rig.pty.close();
    rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.lines.last(), (LogLine{"The Comm is lost", kLogRed}));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QVERIFY(!rig.port.isPortOpen());
    QCoreApplication::processEvents();
    rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.lines.size(), 2);
}

void TestSequencer::storedControllerIsFinishedThoughThePortVanished() {
    SequencerRig rig;
    QVERIFY(driveTo(rig, DownloadSequencer::Stored));
    QSignalSpy events(&rig.port, &CommPort::onComm);
    rig.pty.close();
    QVERIFY(events.wait(5000));
    QCOMPARE(rig.port.commEvent(), int(kCommEventLost));
    rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.texts(), (QStringList{"Start Transmit", "Finished"}));
    rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.lines.last(), (LogLine{"The Comm is lost", kLogRed}));
}

QTEST_GUILESS_MAIN(TestSequencer)
#include "tst_sequencer.moc"
