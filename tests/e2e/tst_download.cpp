#include "link/SequencerHarness.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 20000;

// The virtual controller as a separate process, with its stdout read line by line.
class Controller {
public:
    explicit Controller(const QStringList& arguments) {
        m_process.start(QStringLiteral(QT2XX_BIN_DIR "/qt2xx-controller-sim"), arguments);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_path = QString::fromLocal8Bit(m_process.readLine().trimmed());
    }
    ~Controller() { stop(); }

    QString path() const { return m_path; }

    QStringList lines() {
        while (m_process.canReadLine())
            m_lines << QString::fromLocal8Bit(m_process.readLine().trimmed());
        return m_lines;
    }

    QStringList programmed() { return lines().filter(QRegularExpression(QStringLiteral("^programmed "))); }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_path;
    QStringList m_lines;
};

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
    Controller controller({QStringLiteral("--count"), QStringLiteral("10")});
    QVERIFY(!controller.path().isEmpty());
    LiveRig rig(controller.path());
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.sequencer.intCommFlag(), int(DownloadSequencer::Seeking));

    QTRY_COMPARE_WITH_TIMEOUT(rig.count(QStringLiteral("Finished")), 10, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(controller.process().state(), QProcess::NotRunning, kWait);
    QCOMPARE(controller.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(controller.process().exitCode(), 0);

    QList<LogLine> expected{{QStringLiteral("Start Transmit"), kLogBlue}};
    for (int i = 0; i < 10; ++i)
        expected.append({QStringLiteral("Finished"), kLogBlue});
    QCOMPARE(rig.log.lines.mid(0, 11), expected);
    const QStringList programmed = controller.programmed();
    QCOMPARE(programmed.size(), 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(programmed[i], QStringLiteral("programmed %1: %2").arg(i + 1).arg(hex(rig.frame)));
    rig.sequencer.cmdFileSend_Click();
    QVERIFY(rig.boxes.shown.isEmpty());
}

void TestDownload::failuresAreLoggedAndTheRunGoesOn_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("rejected frame") << "--reject-frame"
                                    << "Transmit Failure";
    QTest::newRow("rejected store") << "--reject-store"
                                    << "Storage Failure";
    QTest::newRow("silent after the frame") << "--silent-after-frame"
                                            << "No responce";
    QTest::newRow("silent after acceptance") << "--silent-after-accept"
                                             << "No Storage responce";
    QTest::newRow("acceptance and storage in one chunk") << "--one-chunk"
                                                         << "No Storage responce";
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
    Controller controller(arguments);
    QVERIFY(!controller.path().isEmpty());
    LiveRig rig(controller.path());
    rig.sequencer.cmdFileSend_Click();

    QTRY_VERIFY_WITH_TIMEOUT(rig.count(QStringLiteral("Finished")) >= 2, kWait);
    if (!message.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(rig.log.texts().lastIndexOf(QStringLiteral("Finished")) >
                                     rig.log.texts().indexOf(message),
                                 kWait);
        QCOMPARE(rig.log.lines[rig.log.texts().indexOf(message)].color, int(kLogRed));
    }
    rig.sequencer.cmdFileSend_Click();
    for (const LogLine& line : rig.log.lines)
        QVERIFY2(line.text == message || line.color == kLogBlue, qPrintable(line.text));
    QVERIFY(rig.boxes.shown.isEmpty());
    QCOMPARE(controller.programmed().size(), rig.count(QStringLiteral("Finished")));
}

// The port box names port 1; the device directory links it to one controller and, once that one
// is gone, to another.
void TestDownload::pulledAdapterIsSurvivedAndComesBack() {
    QTemporaryDir devices;
    const QString link = devices.filePath(QStringLiteral("ttyUSB0"));
    auto first = std::make_unique<Controller>(QStringList{});
    QVERIFY(QFile::link(first->path(), link));
    LiveRig rig(QStringLiteral("1"), devices.path());
    rig.sequencer.cmdFileSend_Click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.count(QStringLiteral("Finished")) >= 1, kWait);

    first.reset();
    QVERIFY(QFile::remove(link)); // the device node goes with the adapter
    QTRY_COMPARE_WITH_TIMEOUT(rig.count(QStringLiteral("The Comm is lost")), 1, kWait);
    QTest::qWait(int(10 * kTickInterval.count()));
    QCOMPARE(rig.count(QStringLiteral("The Comm is lost")), 1);
    QCOMPARE(rig.sequencer.intCommFlag(), int(DownloadSequencer::Seeking));
    QVERIFY(rig.window.timer.isActive());
    QVERIFY(rig.boxes.shown.isEmpty());

    Controller second({});
    QVERIFY(QFile::link(second.path(), link));
    QTRY_COMPARE_WITH_TIMEOUT(rig.count(QStringLiteral("The Comm is back")), 1, kWait);
    const int finishedBefore = rig.count(QStringLiteral("Finished"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.count(QStringLiteral("Finished")) > finishedBefore, kWait);
    QCOMPARE(second.programmed().size(), 1);
    rig.sequencer.cmdFileSend_Click();
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
