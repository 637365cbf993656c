#include "platform/core/SerialPort.h"
#include "support/Pty.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

QByteArray allByteValues() {
    QByteArray bytes;
    for (int v = 0; v < 256; ++v)
        bytes.append(char(v));
    return bytes;
}

// Waits, pumping events, until the port has raised `count` events in all.
bool waitForEvents(QSignalSpy& spy, int count) {
    while (spy.count() < count) {
        if (!spy.wait(5000))
            return false;
    }
    return spy.count() == count;
}

} // namespace

class TestSerialPort : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensAndClosesWithFixedLineSettings();
    void raisesOneReceiveEventPerChunk_data();
    void raisesOneReceiveEventPerChunk();
    void carriesEveryByteValueBothWays();
    void mapsOpenFailuresToCodes_data();
    void mapsOpenFailuresToCodes();
    void reportsAnOccupiedDevice();
    void looksUpPortNumbersInOrder_data();
    void looksUpPortNumbersInOrder();
    void closesItselfWhenTheDeviceVanishes();
    void keepsTheDeviceItsNumberFirstNamed();
};

void TestSerialPort::opensAndClosesWithFixedLineSettings() {
    Pty pty;
    SerialPort port;
    port.setDevicePath(pty.slavePath());
    QCOMPARE(port.open(), kPortOk);
    QVERIFY(port.isPortOpen());

    const termios tio = pty.lineSettings();
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));

    port.close();
    QVERIFY(!port.isPortOpen());
    QCOMPARE(port.open(), kPortOk);
    QCOMPARE(port.open(), kPortAlreadyOpen);
    QVERIFY(port.isPortOpen());
}

void TestSerialPort::raisesOneReceiveEventPerChunk_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::newRow("single bytes") << QList<QByteArray>{"U", "Q", "R", QByteArray(1, '\0')};
    QTest::newRow("mixed lengths") << QList<QByteArray>{"QR", "x", QByteArray(32, '\x7f'), "U"};
    QTest::newRow("one long chunk") << QList<QByteArray>{QByteArray(200, 'a')};
}

void TestSerialPort::raisesOneReceiveEventPerChunk() {
    QFETCH(QList<QByteArray>, chunks);
    Pty pty;
    SerialPort port;
    port.setDevicePath(pty.slavePath());
    QCOMPARE(port.open(), kPortOk);
    QSignalSpy events(&port, &CommPort::onComm);

    int expected = 0;
    for (const QByteArray& chunk : chunks) {
        QVERIFY(pty.write(chunk));
        QByteArray received;
        // A long chunk may come in pieces, but every piece raises its own event.
        while (received.size() < chunk.size()) {
            QVERIFY(waitForEvents(events, ++expected));
            QCOMPARE(port.commEvent(), int(kCommEventReceive));
            const QByteArray piece = port.input();
            QVERIFY(!piece.isEmpty());
            received += piece;
        }
        QCOMPARE(received, chunk);
    }
    QCOMPARE(port.input(), QByteArray());
}

void TestSerialPort::carriesEveryByteValueBothWays() {
    Pty pty;
    SerialPort port;
    port.setDevicePath(pty.slavePath());
    QCOMPARE(port.open(), kPortOk);

    QVERIFY(port.outputBytes(allByteValues()));
    QCOMPARE(pty.takeWritten(), allByteValues());

    QSignalSpy events(&port, &CommPort::onComm);
    QVERIFY(pty.write(allByteValues()));
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += port.input()).size() >= 256, 5000);
    QCOMPARE(received, allByteValues());
}

void TestSerialPort::mapsOpenFailuresToCodes_data() {
    QTest::addColumn<bool>("byNumber");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reasonPart");
    QTest::newRow("missing device path") << false << 0 << "/no/such/device"
                                         << "No such file";
    QTest::newRow("number naming no device") << true << 3 << ""
                                             << "ttyUSB2, ";
    QTest::newRow("number zero") << true << 0 << ""
                                 << "port number 0";
    QTest::newRow("negative number") << true << -4 << ""
                                     << "port number -4";
    QTest::newRow("a device that is no terminal") << false << 0 << "/dev/null"
                                                  << "";
    QTest::newRow("a folder") << false << 0 << QDir::tempPath() << "";
}

void TestSerialPort::mapsOpenFailuresToCodes() {
    QFETCH(bool, byNumber);
    QFETCH(int, number);
    QFETCH(QString, path);
    QFETCH(QString, reasonPart);
    QTemporaryDir emptyDeviceDirectory;
    SerialPort port(emptyDeviceDirectory.path());
    if (byNumber)
        port.setCommPort(std::int16_t(number));
    else
        port.setDevicePath(path);
    QCOMPARE(port.open(), kPortUnusable);
    QVERIFY(!port.isPortOpen());
    const PortFailure failure = port.lastFailure();
    QCOMPARE(failure.code, kPortUnusable);
    QCOMPARE(failure.device, path);
    QVERIFY2(failure.reason.contains(reasonPart), qPrintable(failure.reason));
}

void TestSerialPort::reportsAnOccupiedDevice() {
    Pty pty;
    SerialPort first;
    first.setDevicePath(pty.slavePath());
    QCOMPARE(first.open(), kPortOk);

    SerialPort second;
    second.setDevicePath(pty.slavePath());
    QCOMPARE(second.open(), kPortOccupied);
    QCOMPARE(second.lastFailure().device, pty.slavePath());
    // The holder is this very process, found through its open descriptors.
    const QString remedy = second.lastFailure().remedy;
    QVERIFY2(remedy.contains(QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid())),
             qPrintable(remedy));

    first.close();
    QCOMPARE(second.open(), kPortOk);
}

void TestSerialPort::looksUpPortNumbersInOrder_data() {
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("usb before acm and serial") << QStringList{"ttyS1", "ttyACM1", "ttyUSB1"} << "ttyUSB1";
    QTest::newRow("acm before serial") << QStringList{"ttyS1", "ttyACM1", "ttyUSB2"} << "ttyACM1";
    QTest::newRow("serial last") << QStringList{"ttyS1", "ttyUSB0", "ttyACM2"} << "ttyS1";
}

// Each present name links to a pty of its own; the "8" must reach the chosen one only.
void TestSerialPort::looksUpPortNumbersInOrder() {
    QFETCH(QStringList, present);
    QFETCH(QString, chosen);
    QTemporaryDir devices;
    std::vector<std::unique_ptr<Pty>> ptys;
    for (const QString& name : present) {
        ptys.push_back(std::make_unique<Pty>());
        QVERIFY(QFile::link(ptys.back()->slavePath(), devices.filePath(name)));
    }
    SerialPort port(devices.path());
    QCOMPARE(port.deviceForNumber(2), devices.filePath(chosen));
    port.setCommPort(2);
    QCOMPARE(port.open(), kPortOk);
    QVERIFY(port.outputText(QStringLiteral("8")));
    for (qsizetype i = 0; i < present.size(); ++i)
        QCOMPARE(ptys[i]->takeWritten(), present[i] == chosen ? QByteArray("8") : QByteArray());
}

// The adapter that port 1 named is pulled: reopening must fail rather than reach the next device the
// number could name, until the number is set again.
void TestSerialPort::keepsTheDeviceItsNumberFirstNamed() {
    QTemporaryDir devices;
    Pty adapter;
    Pty onBoard;
    QVERIFY(QFile::link(adapter.slavePath(), devices.filePath(QStringLiteral("ttyUSB0"))));
    QVERIFY(QFile::link(onBoard.slavePath(), devices.filePath(QStringLiteral("ttyS0"))));
    SerialPort port(devices.path());
    port.setCommPort(1);
    QCOMPARE(port.open(), kPortOk);
    port.close();

    QVERIFY(QFile::remove(devices.filePath(QStringLiteral("ttyUSB0"))));
    QCOMPARE(port.open(), kPortUnusable);
    QCOMPARE(port.lastFailure().device, devices.filePath(QStringLiteral("ttyUSB0")));

    QVERIFY(QFile::link(adapter.slavePath(), devices.filePath(QStringLiteral("ttyUSB0"))));
    QCOMPARE(port.open(), kPortOk);
    QVERIFY(port.outputText(QStringLiteral("8")));
    QCOMPARE(adapter.takeWritten(), QByteArray("8"));
    QCOMPARE(onBoard.takeWritten(), QByteArray());
    port.close();

    QVERIFY(QFile::remove(devices.filePath(QStringLiteral("ttyUSB0"))));
    port.setCommPort(1); // a new start looks the number up afresh
    QCOMPARE(port.open(), kPortOk);
    QVERIFY(port.outputText(QStringLiteral("8")));
    QCOMPARE(onBoard.takeWritten(), QByteArray("8"));
}

void TestSerialPort::closesItselfWhenTheDeviceVanishes() {
    Pty pty;
    SerialPort port;
    port.setDevicePath(pty.slavePath());
    QCOMPARE(port.open(), kPortOk);
    QSignalSpy events(&port, &CommPort::onComm);
    pty.close();
    QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty(), 5000);
    QCOMPARE(port.commEvent(), int(kCommEventLost));
    QVERIFY(!port.isPortOpen());
    QCOMPARE(port.lastFailure().code, kPortDeviceLost);
    QCOMPARE(port.open(), kPortUnusable);
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
