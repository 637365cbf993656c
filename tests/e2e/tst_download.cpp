#include "support/SequencerHarness.h"
#include "support/SimProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 20000;

// The sequencer run by the real 100 ms timer, as the window runs it.
struct LiveRig : SequencerParts {
    explicit LiveRig(const QString& portBox, const QString& deviceDirectory = QStringLiteral("/dev"))
        : SequencerParts(deviceDirectory) {
        window.portBox = portBox;
        runOnRealTimer();
    }

    int count(const QString& text) const { return int(log.texts().count(text)); }
};

QString hex(const DownloadFrame& frame) {
    return QString::fromLatin1(frameBytes(frame).toHex(' ').toUpper());
}

} // namespace

class TestDownload : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programsTenControllersInARow();
    void failuresAreLoggedAndTheRunGoesOn_data();
    void failuresAreLoggedAndTheRunGoesOn();
    void pulledAdapterIsSurvivedAndComesBack();
};

void TestDownload::programsTenControllersInARow() {
    SimProcess controller({QStringLiteral("--count"), QStringLiteral("10")});
    QVERIFY(!controller.device().isEmpty());
    LiveRig rig(controller.device());
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);

    QTRY_COMPARE_WITH_TIMEOUT(rig.count(kFinishedMessage), 10, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(controller.process().state(), QProcess::NotRunning, kWait);
    QCOMPARE(controller.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(controller.process().exitCode(), 0);

    QList<LogLine> expected{{kStartTransmit, kLogBlue}};
    for (int i = 0; i < 10; ++i)
        expected.append({kFinishedMessage, kLogBlue});
    QCOMPARE(rig.log.lines.mid(0, 11), expected);
    const QStringList programmed =
        controller.lines().filter(QRegularExpression(QStringLiteral("^programmed ")));
    QCOMPARE(programmed.size(), 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(programmed[i], QStringLiteral("programmed %1: %2").arg(i + 1).arg(hex(rig.frame)));
    rig.sequencer.cmdFileSend_Click();
    QVERIFY(rig.boxes.shown.isEmpty());
}

void TestDownload::failuresAreLoggedAndTheRunGoesOn_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("rejected frame") << "--reject-frame" << kTransmitFailureMessage;
    QTest::newRow("rejected store") << "--reject-store" << kStorageFailureMessage;
    QTest::newRow("silent after the frame") << "--silent-after-frame" << kNoResponseMessage;
    QTest::newRow("silent after acceptance") << "--silent-after-accept" << kNoStorageResponseMessage;
    QTest::newRow("acceptance and storage in one chunk") << "--one-chunk" << kNoStorageResponseMessage;
    QTest::newRow("noise while seeking") << "--noise"
                                         << "";
}

// Every second controller fails; the one after it must be programmed in the same run.
void TestDownload::failuresAreLoggedAndTheRunGoesOn() {
    QFETCH(QString, mode);
    QFETCH(QString, message);
    QStringList arguments{mode};
    if (!message.isEmpty())
        arguments << QStringLiteral("--fail-every") << QStringLiteral("2");
    SimProcess controller(arguments);
    QVERIFY(!controller.device().isEmpty());
    LiveRig rig(controller.device());
    rig.sequencer.cmdFileSend_Click();

    QTRY_VERIFY_WITH_TIMEOUT(rig.count(kFinishedMessage) >= 2, kWait);
    if (!message.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.log.texts().lastIndexOf(kFinishedMessage) > rig.log.texts().indexOf(message), kWait);
        QCOMPARE(rig.log.lines[rig.log.texts().indexOf(message)].color, int(kLogRed));
    }
    rig.sequencer.cmdFileSend_Click();
    for (const LogLine& line : rig.log.lines)
        QVERIFY2(line.text == message || line.color == kLogBlue, qPrintable(line.text));
    QVERIFY(rig.boxes.shown.isEmpty());
    QCOMPARE(controller.programmed().size(), rig.count(kFinishedMessage));
}

// The port box names port 1; the device directory links it to one controller and, once that one
// is gone, to another.
void TestDownload::pulledAdapterIsSurvivedAndComesBack() {
    QTemporaryDir devices;
    const QString link = devices.filePath(QStringLiteral("ttyUSB0"));
    auto first = std::make_unique<SimProcess>();
    QVERIFY(QFile::link(first->device(), link));
    LiveRig rig(QStringLiteral("1"), devices.path());
    rig.sequencer.cmdFileSend_Click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.count(kFinishedMessage) >= 1, kWait);

    first.reset();
    QVERIFY(QFile::remove(link)); // the device node goes with the adapter
    QTRY_COMPARE_WITH_TIMEOUT(rig.count(kCommLostMessage), 1, kWait);
    QTest::qWait(int(10 * kTickInterval.count()));
    QCOMPARE(rig.count(kCommLostMessage), 1);
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QVERIFY(rig.window.timer.isActive());
    QVERIFY(rig.boxes.shown.isEmpty());

    SimProcess second;
    QVERIFY(QFile::link(second.device(), link));
    QTRY_COMPARE_WITH_TIMEOUT(rig.count(kCommBackMessage), 1, kWait);
    const int finishedBefore = rig.count(kFinishedMessage);
    QTRY_VERIFY_WITH_TIMEOUT(rig.count(kFinishedMessage) > finishedBefore, kWait);
    QCOMPARE(second.programmed().size(), 1);
    rig.sequencer.cmdFileSend_Click();
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
