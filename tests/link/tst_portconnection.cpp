#include "support/SequencerHarness.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

void expectStopped(const SequencerRig& rig) {
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Idle);
    QVERIFY(!rig.port.isPortOpen());
    QCOMPARE(rig.log.lines.last(), (LogLine{kCommClosedMessage, kLogBlue}));
    QCOMPARE(rig.window.caption, kStartTransmit);
    QVERIFY(rig.window.controlsEnabled);
    QVERIFY(!rig.window.timerEnabled);
}

// Runs open() on a device the current user may not use, in a child process that is not root when
// the test is, and returns the failure code and the detail the operator would read.
std::pair<int, QString> openWithoutPermission(const QString& device) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {-1, {}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(1);
        SerialPort port;
        port.setDevicePath(device);
        const int code = port.open();
        const QByteArray report =
            QByteArray::number(code) + '\n' + PortFailureDetail(port.lastFailure()).toUtf8();
        const bool sent = ::write(channel[1], report.constData(), size_t(report.size())) == report.size();
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const qsizetype split = report.indexOf('\n');
    if (split < 0)
        return {-1, {}};
    return {report.left(split).toInt(), QString::fromUtf8(report.mid(split + 1))};
}

} // namespace

class TestPortConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void portBoxChoosesTheDevice_data();
    void portBoxChoosesTheDevice();
    void unusablePortsAreToldOrSilent_data();
    void unusablePortsAreToldOrSilent();
    void occupiedPortIsTold();
    void permissionDeniedSaysHowToFixIt();
    void blankParameterStopsTheStart_data();
    void blankParameterStopsTheStart();
    void stopNeverLooksAtTheLists();
    void stopDuringTheClosedSeekTick();
};

void TestPortConnection::portBoxChoosesTheDevice_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("device");
    QTest::newRow("plain number") << "1"
                                  << "ttyUSB0";
    QTest::newRow("number followed by letters") << "3abc"
                                                << "ttyUSB2";
    QTest::newRow("blanks before the number") << "  4"
                                              << "ttyUSB3";
    QTest::newRow("half rounds down to even") << "2.5"
                                              << "ttyUSB1";
    QTest::newRow("half rounds up to even") << "3.5"
                                            << "ttyUSB3";
    QTest::newRow("below a half") << "4.49"
                                  << "ttyUSB3";
    QTest::newRow("number as acm device") << "2"
                                          << "ttyACM1";
    QTest::newRow("device path") << "@"
                                 << "";
    QTest::newRow("device path with blanks") << " @ "
                                             << "";
}

// Only the expected name exists in the device directory, so any other reading fails to open.
void TestPortConnection::portBoxChoosesTheDevice() {
    QFETCH(QString, text);
    QFETCH(QString, device);
    QTemporaryDir devices;
    SequencerRig rig(devices.path());
    if (!device.isEmpty())
        QVERIFY(QFile::link(rig.pty.slavePath(), devices.filePath(device)));
    rig.window.portBox = QString(text).replace(QLatin1Char('@'), rig.pty.slavePath());

    rig.sequencer.cmdFileSend_Click();
    QVERIFY(rig.boxes.shown.isEmpty());
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.pty.takeWritten(), QByteArray("8"));
}

void TestPortConnection::unusablePortsAreToldOrSilent_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("detailPart");
    const QString noUse = kCommNoUseMessage;
    QTest::newRow("empty text is port 0") << "" << noUse << "port number 0";
    QTest::newRow("text without a number") << "COM" << noUse << "port number 0";
    QTest::newRow("number naming no device") << "7" << noUse << "ttyUSB6, ";
    QTest::newRow("largest 16-bit number") << "32767" << noUse << "ttyS32766";
    QTest::newRow("missing device path") << "/no/such/tty" << noUse << "/no/such/tty";
    QTest::newRow("number beyond 16 bits") << "70000"
                                           << ""
                                           << "";
    QTest::newRow("first number beyond 16 bits") << "32767.5"
                                                 << ""
                                                 << "";
}

void TestPortConnection::unusablePortsAreToldOrSilent() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, detailPart);
    QTemporaryDir devices;
    SequencerRig rig(devices.path());
    rig.window.portBox = text;
    rig.sequencer.cmdFileSend_Click();
    if (message.isEmpty()) {
        QVERIFY(rig.boxes.shown.isEmpty());
    } else {
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown.front().text, message);
        QVERIFY2(rig.boxes.shown.front().informative.contains(detailPart),
                 qPrintable(rig.boxes.shown.front().informative));
    }
    expectStopped(rig);
    QCOMPARE(rig.log.texts(), QStringList{"The Comm is Closed"});
}

void TestPortConnection::occupiedPortIsTold() {
    SequencerRig rig;
    SerialPort other;
    other.setDevicePath(rig.pty.slavePath());
    QCOMPARE(other.open(), kPortOk);

    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.boxes.shown.size(), 1);
    QCOMPARE(rig.boxes.shown.front().text, kCommOccupiedMessage);
    QVERIFY(rig.boxes.shown.front().informative.contains(rig.pty.slavePath()));
    // Beneath the message, who holds the port: here this very process.
    const QString holder = QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid());
    QVERIFY2(rig.boxes.shown.front().informative.contains(holder),
             qPrintable(rig.boxes.shown.front().informative));
    expectStopped(rig);

    other.close();
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
}

void TestPortConnection::permissionDeniedSaysHowToFixIt() {
    Pty pty;
    QCOMPARE(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0), 0);
    const auto [code, detail] = openWithoutPermission(pty.slavePath());
    QCOMPARE(PortError(code), kPortUnusable);
    QVERIFY2(detail.contains(pty.slavePath()), qPrintable(detail));
#ifdef Q_OS_LINUX
    QVERIFY2(detail.contains(QStringLiteral("dialout")) && detail.contains(QStringLiteral("log in again")),
             qPrintable(detail));
#endif
}

void TestPortConnection::blankParameterStopsTheStart_data() {
    QTest::addColumn<int>("blank");
    QTest::newRow("first list") << 0;
    QTest::newRow("middle list") << 13;
    QTest::newRow("last list") << 25;
}

void TestPortConnection::blankParameterStopsTheStart() {
    QFETCH(int, blank);
    SequencerRig rig;
    rig.values.fill(QStringLiteral("old"));
    rig.window.combos[blank].clear();
    if (blank < 25)
        rig.window.combos[25].clear();

    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.boxes.shown.size(), 1);
    QCOMPARE(rig.boxes.shown.front().text, kBlankParameterMessage);
    QCOMPARE(rig.boxes.shown.front().informative, QString());
    for (int i = 0; i < kParameterValueSlots; ++i) {
        const QString expected = i < blank    ? rig.window.combos[i]
                                 : i == blank ? QString()
                                              : QStringLiteral("old");
        QCOMPARE(rig.values[i], expected);
    }
    expectStopped(rig);
    QCOMPARE(rig.window.comboReads, blank + 1);
    QCOMPARE(rig.pty.takeWritten(), QByteArray());
}

void TestPortConnection::stopNeverLooksAtTheLists() {
    SequencerRig rig;
    rig.sequencer.cmdFileSend_Click();
    rig.window.combos[0].clear();
    rig.window.comboReads = 0;
    rig.sequencer.cmdFileSend_Click();
    QCOMPARE(rig.window.comboReads, 0);
    QVERIFY(rig.boxes.shown.isEmpty());
    expectStopped(rig);
}

void TestPortConnection::stopDuringTheClosedSeekTick() {
    SequencerRig rig;
    rig.sequencer.cmdFileSend_Click();
    for (int i = 0; i < 4; ++i)
        rig.sequencer.Timer1_Timer();
    QVERIFY(!rig.port.isPortOpen());
    rig.sequencer.cmdFileSend_Click();
    QVERIFY(rig.boxes.shown.isEmpty());
    expectStopped(rig);
    QCOMPARE(rig.log.texts(), (QStringList{"Start Transmit", "The Comm is Closed"}));
}

QTEST_GUILESS_MAIN(TestPortConnection)
#include "tst_portconnection.moc"
