// The virtual controller, driven by hand from the host side through a real serial port.
#include "link/Protocol.h"
#include "support/SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTest>

#include <csignal>
#include <memory>

#include <unistd.h>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWaitMs = 5000;

// The frame the encoder builds for a board-3 parameter set.
const QByteArray kEncoderFrame = QByteArray::fromHex(
    "02 0F 45 15 64 03 73 00 20 37 4F 1E 32 00 01 04 60 C5 00 01 01 03 01 57 00 99 01 03 00 00 00 53");

// Sets the last byte so that the XOR of all bytes is 0.
QByteArray withChecksum(QByteArray frame) {
    char sum = 0;
    for (int i = 0; i + 1 < frame.size(); ++i)
        sum ^= frame[i];
    frame[frame.size() - 1] = sum;
    return frame;
}

// Handshake and answer bytes inside a frame are frame bytes, not protocol.
const QByteArray kProtocolBytesFrame = withChecksum(QByteArray("\x02\x0F"
                                                               "8U8QRX",
                                                               8) +
                                                    QByteArray(24, '8'));

QByteArray hexLine(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}

// CPU time the process has used so far, user and system, in milliseconds.
qint64 cpuMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    return (fields.value(12).toLongLong() + fields.value(13).toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

// One sim process and the host's end of its line.
class Sim {
public:
    ~Sim() { m_port.close(); }
    bool start(const QStringList& arguments) {
        m_process = std::make_unique<SimProcess>(arguments);
        return !m_process->device().isEmpty() && openPort();
    }
    bool openPort() {
        m_port.setPortName(m_process->device());
        m_port.setBaudRate(QSerialPort::Baud9600);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        return m_port.open(QIODevice::ReadWrite);
    }
    void closePort() { m_port.close(); }
    void send(const QByteArray& bytes) {
        m_port.write(bytes);
        m_port.waitForBytesWritten(kWaitMs);
    }
    // The bytes of the next read that returns any, as the host's receive event would see them.
    QByteArray nextChunk() {
        if (m_port.bytesAvailable() == 0 && !m_port.waitForReadyRead(kWaitMs))
            return {};
        return m_port.readAll();
    }
    QByteArray nextLine() { return m_process->nextLine(kWaitMs); }
    bool handshake() {
        send(kHandshakeRequest);
        return nextChunk() == QByteArray(1, kReadyByte);
    }
    // Nothing arrives for that long; a window to observe, never to synchronise on.
    bool quietFor(int ms) { return m_port.bytesAvailable() == 0 && !m_port.waitForReadyRead(ms); }
    QProcess& process() { return m_process->process(); }

private:
    std::unique_ptr<SimProcess> m_process;
    QSerialPort m_port;
};

} // namespace

class TestControllerSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programsControllerAfterController_data();
    void programsControllerAfterController();
    void refusesBadFrames_data();
    void refusesBadFrames();
    void playsFailureModes_data();
    void playsFailureModes();
    void swappedControllerIsSilentThenNew();
    void survivesTheHostClosingThePort();
    void holdsEachAnswerForTheDelay();
    void answersRepeatedRequestsOnceWhileDelayed();
    void noiseIsNeverReady();
    void noiseWaitsWhileTheHostAwaitsAnAnswer_data();
    void noiseWaitsWhileTheHostAwaitsAnAnswer();
    void endsWithSummary_data();
    void endsWithSummary();
    void refusesMisuse_data();
    void refusesMisuse();
};

void TestControllerSim::programsControllerAfterController_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("encoder frame in one write") << kEncoderFrame << QList<int>{32};
    QTest::newRow("encoder frame in three writes") << kEncoderFrame << QList<int>{5, 20, 7};
    QTest::newRow("protocol bytes inside the frame") << kProtocolBytesFrame << QList<int>{32};
}

void TestControllerSim::programsControllerAfterController() {
    QFETCH(QByteArray, frame);
    QFETCH(QList<int>, pieces);
    Sim sim;
    QVERIFY(sim.start({}));
    for (int controller = 1; controller <= 2; ++controller) {
        QVERIFY(sim.handshake());
        for (int at = 0; const int piece : pieces) {
            sim.send(frame.mid(at, piece));
            at += piece;
        }
        // Separate chunks: the host looks only at the first byte of each.
        QCOMPARE(sim.nextChunk(), QByteArray("Q"));
        QCOMPARE(sim.nextChunk(), QByteArray("R"));
        QCOMPARE(sim.nextLine(), "programmed " + QByteArray::number(controller) + ": " + hexLine(frame));
    }
}

void TestControllerSim::refusesBadFrames_data() {
    QTest::addColumn<QByteArray>("frame");
    QByteArray checksumOff = kEncoderFrame;
    checksumOff[31] = char(checksumOff[31] ^ 0x01);
    QTest::newRow("checksum off by one bit") << checksumOff;
    QTest::newRow("first lead byte wrong") << withChecksum(QByteArray(1, '\x03') + kEncoderFrame.mid(1));
    QTest::newRow("second lead byte wrong")
        << withChecksum(kEncoderFrame.left(1) + '\x0E' + kEncoderFrame.mid(2));
    QTest::newRow("frame cut short") << kEncoderFrame.left(20);
}

void TestControllerSim::refusesBadFrames() {
    QFETCH(QByteArray, frame);
    Sim sim;
    QVERIFY(sim.start({}));
    QVERIFY(sim.handshake());
    sim.send(frame);
    const QByteArray answer = sim.nextChunk();
    QVERIFY(!answer.isEmpty());
    QVERIFY(answer[0] != 'Q');
    QCOMPARE(sim.nextLine(), "bad frame: " + hexLine(frame));
    // The next controller is served as usual.
    QVERIFY(sim.handshake());
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
}

void TestControllerSim::playsFailureModes_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArrayList>("answers");
    QTest::newRow("reject-frame") << "reject-frame" << QByteArrayList{"X"};
    QTest::newRow("reject-store") << "reject-store" << QByteArrayList{"Q", "X"};
    QTest::newRow("silent-after-frame") << "silent-after-frame" << QByteArrayList{};
    QTest::newRow("silent-after-accept") << "silent-after-accept" << QByteArrayList{"Q"};
    QTest::newRow("one-chunk") << "one-chunk" << QByteArrayList{"QR"};
}

void TestControllerSim::playsFailureModes() {
    QFETCH(QString, mode);
    QFETCH(QByteArrayList, answers);
    Sim sim;
    QVERIFY(sim.start({"--" + mode}));
    for (int controller = 1; controller <= 2; ++controller) {
        QVERIFY(sim.handshake());
        sim.send(kEncoderFrame);
        for (const QByteArray& answer : answers)
            QCOMPARE(sim.nextChunk(), answer);
        QCOMPARE(sim.nextLine(), "failed " + QByteArray::number(controller) + ": " + mode.toLatin1());
    }
    // Nothing more was sent: the very next chunk answers the next handshake.
    QVERIFY(sim.handshake());
}

// A fixture worked by hand: the unit that stored its frame is taken out and nothing answers until a
// new one is in; a unit that failed stays in and answers at once, to be tried again.
void TestControllerSim::swappedControllerIsSilentThenNew() {
    constexpr int kSwapMs = 800;
    Sim sim;
    QVERIFY(sim.start({"--swap", QString::number(kSwapMs), "--reject-frame", "--fail-every", "2"}));
    QVERIFY(sim.handshake());
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
    QCOMPARE(sim.nextChunk(), QByteArray("R"));
    QCOMPARE(sim.nextLine(), "programmed 1: " + hexLine(kEncoderFrame));
    QElapsedTimer out;
    out.start();

    // The host seeks as it does, one "8" after another: none is answered while the slot is empty.
    while (out.elapsed() < kSwapMs / 2) {
        sim.send(kHandshakeRequest);
        QVERIFY(sim.quietFor(100));
    }
    QCOMPARE(sim.nextLine(), QByteArray("new unit 2"));
    QVERIFY(sim.handshake());
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("X"));
    QCOMPARE(sim.nextLine(), QByteArray("failed 1: reject-frame"));
    QVERIFY(sim.handshake()); // still in
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
    QCOMPARE(sim.nextChunk(), QByteArray("R"));
    QCOMPARE(sim.nextLine(), "programmed 2: " + hexLine(kEncoderFrame));
    sim.send(kHandshakeRequest);
    QVERIFY(sim.quietFor(200));
}

void TestControllerSim::survivesTheHostClosingThePort() {
    Sim sim;
    QVERIFY(sim.start({}));
    // Seeking as the tool does it: the port is closed for one tick in three.
    for (int cycle = 0; cycle < 3; ++cycle) {
        QVERIFY(sim.handshake());
        QVERIFY(sim.handshake());
        sim.closePort();
        QVERIFY(sim.openPort());
    }
    // With no host on the line the sim must wait, not spin on the master. The window measures CPU
    // time; nothing waits for it.
    sim.closePort();
    const qint64 cpuBefore = cpuMs(sim.process().processId());
    QTest::qWait(300);
    QVERIFY(cpuMs(sim.process().processId()) - cpuBefore < 100);
    QVERIFY(sim.openPort());
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
    QCOMPARE(sim.nextChunk(), QByteArray("R"));
    QCOMPARE(sim.nextLine(), "programmed 1: " + hexLine(kEncoderFrame));
}

void TestControllerSim::holdsEachAnswerForTheDelay() {
    constexpr int kDelayMs = 150;
    Sim sim;
    QVERIFY(sim.start({"--answer-delay", QString::number(kDelayMs)}));
    // Measured from before the host's own write, so that no reading latency can shorten it.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(sim.handshake());
    QVERIFY(clock.restart() >= kDelayMs);
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
    QVERIFY(clock.elapsed() >= kDelayMs);
    QCOMPARE(sim.nextChunk(), QByteArray("R"));
    QVERIFY(clock.elapsed() >= 2 * kDelayMs);
}

// The host asks again on every tick until its "U" comes; with a slow answer the sim must not send a
// second "U" that would arrive after the frame.
void TestControllerSim::answersRepeatedRequestsOnceWhileDelayed() {
    Sim sim;
    QVERIFY(sim.start({"--answer-delay", "150"}));
    sim.send("8");
    sim.send("8");
    sim.send("8");
    QCOMPARE(sim.nextChunk(), QByteArray("U"));
    QVERIFY(sim.quietFor(400));
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
    QCOMPARE(sim.nextChunk(), QByteArray("R"));
    QCOMPARE(sim.nextLine(), "programmed 1: " + hexLine(kEncoderFrame));
}

void TestControllerSim::noiseIsNeverReady() {
    Sim sim;
    QVERIFY(sim.start({"--noise"}));
    QByteArray noise;
    while (noise.size() < 3) {
        const QByteArray chunk = sim.nextChunk();
        QVERIFY(!chunk.isEmpty());
        noise += chunk;
    }
    QVERIFY2(!noise.contains('U'), noise.toHex().constData());
    // A controller is still programmed, and no noise falls between its answers.
    sim.send("8");
    QByteArray beforeReady;
    while (!beforeReady.endsWith('U'))
        beforeReady += sim.nextChunk();
    sim.send(kEncoderFrame);
    QCOMPARE(sim.nextChunk(), QByteArray("Q"));
    QCOMPARE(sim.nextChunk(), QByteArray("R"));
}

void TestControllerSim::noiseWaitsWhileTheHostAwaitsAnAnswer_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArrayList>("answers");
    QTest::newRow("silent-after-frame") << "silent-after-frame" << QByteArrayList{};
    QTest::newRow("silent-after-accept") << "silent-after-accept" << QByteArrayList{"Q"};
    QTest::newRow("one-chunk") << "one-chunk" << QByteArrayList{"QR"};
}

// After a silent failure the host waits for its timeout; a stray byte then would be taken for the
// answer and turn the failure into another one. The window is longer than the longest pause
// between two stray bytes.
void TestControllerSim::noiseWaitsWhileTheHostAwaitsAnAnswer() {
    constexpr int kLongerThanNoisePauseMs = 700;
    QFETCH(QString, mode);
    QFETCH(QByteArrayList, answers);
    Sim sim;
    QVERIFY(sim.start({"--noise", "--" + mode}));
    sim.send("8");
    QByteArray beforeReady;
    while (!beforeReady.endsWith('U'))
        beforeReady += sim.nextChunk();
    sim.send(kEncoderFrame);
    for (const QByteArray& answer : answers)
        QCOMPARE(sim.nextChunk(), answer);
    QCOMPARE(sim.nextLine(), "failed 1: " + mode.toLatin1());
    QVERIFY(sim.quietFor(kLongerThanNoisePauseMs));
    QVERIFY(sim.handshake());
}

void TestControllerSim::endsWithSummary_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("summary");
    QTest::newRow("count reached") << QStringList{"--count", "2"} << 0 << QByteArray("programmed=2 failed=0");
    // Only the second controller fails.
    QTest::newRow("terminated, failing every second") << QStringList{"--reject-store", "--fail-every", "2"}
                                                      << SIGTERM << QByteArray("programmed=1 failed=1");
    QTest::newRow("interrupted") << QStringList{} << SIGINT << QByteArray("programmed=2 failed=0");
}

void TestControllerSim::endsWithSummary() {
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(QByteArray, summary);
    Sim sim;
    QVERIFY(sim.start(arguments));
    for (int controller = 1; controller <= 2; ++controller) {
        QVERIFY(sim.handshake());
        sim.send(kEncoderFrame);
        // The accept and the store's answer; a loaded machine may read both in one chunk.
        QByteArray answers = sim.nextChunk();
        if (answers.size() < 2)
            answers += sim.nextChunk();
        QVERIFY2(answers.size() == 2 && answers.startsWith('Q'), answers.constData());
        QVERIFY(!sim.nextLine().isEmpty());
    }
    if (signal != 0)
        ::kill(static_cast<pid_t>(sim.process().processId()), signal);
    QCOMPARE(sim.nextLine(), "summary: " + summary);
    QVERIFY(sim.process().waitForFinished(kWaitMs));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
}

void TestControllerSim::refusesMisuse_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--fast"};
    QTest::newRow("count without number") << QStringList{"--count"};
    QTest::newRow("count not a number") << QStringList{"--count", "ten"};
    QTest::newRow("negative delay") << QStringList{"--answer-delay", "-5"};
    QTest::newRow("two failure modes") << QStringList{"--reject-frame", "--one-chunk"};
    QTest::newRow("fail-every without a mode") << QStringList{"--fail-every", "3"};
    QTest::newRow("fail-every zero") << QStringList{"--reject-store", "--fail-every", "0"};
    QTest::newRow("swap without time") << QStringList{"--swap"};
    QTest::newRow("negative swap") << QStringList{"--swap", "-1"};
}

void TestControllerSim::refusesMisuse() {
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(ControllerSimPath(), arguments);
    QVERIFY(process.waitForFinished(kWaitMs));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().startsWith("usage: "));
}

QTEST_GUILESS_MAIN(TestControllerSim)
#include "tst_controllersim.moc"
