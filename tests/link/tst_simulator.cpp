// The virtual controller's behaviour driven in this process: bytes in, answers and report lines out,
// without a pseudo-terminal or a second program.
#include "sim/ControllerSim.h"

#include "link/Protocol.h"
#include "params/FrameEncoder.h"

#include <QTest>

using namespace qt2xx;
using namespace qt2xx::sim;

namespace {

// A line whose host reads everything at once.
class RecordingLine : public SimLine {
public:
    void write(const QByteArray& bytes) override { chunks.append(bytes); }
    int unreadByHost() const override { return 0; }
    QList<QByteArray> chunks;
};

struct Controller {
    explicit Controller(const Options& options = {})
        : sim(options, line, [this](const QByteArray& text) { printed.append(text); }) {
        sim.onFinished = [this] { finished = true; };
    }
    RecordingLine line;
    QList<QByteArray> printed;
    bool finished = false;
    ControllerSim sim;
};

QByteArray soundFrame() {
    QByteArray frame(kFrameSize, '\x11');
    frame[0] = char(kFrameLead0);
    frame[1] = char(kFrameLead1);
    char sum = 0;
    for (int i = 0; i + 1 < frame.size(); ++i)
        sum ^= frame[i];
    frame[kFrameSize - 1] = sum;
    return frame;
}

QByteArray hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}

constexpr int kWaitMs = 2000;

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answersAndStoresASoundFrame();
    void refusesAnUnsoundFrame_data();
    void refusesAnUnsoundFrame();
    void playsItsFailureOnEveryKthController();
    void finishesAfterTheCount();
    void repeatedRequestGetsOneReady();
};

void TestSimulator::answersAndStoresASoundFrame() {
    Controller c;
    c.sim.receive(kHandshakeRequest);
    QTRY_COMPARE_WITH_TIMEOUT(c.line.chunks, QList<QByteArray>{QByteArray(1, kReadyByte)}, kWaitMs);
    c.sim.receive(soundFrame());
    // "Q" and "R" leave in separate writes, so the host sees them in separate chunks.
    const QList<QByteArray> answers{QByteArray(1, kReadyByte), QByteArray(1, kAcceptedByte),
                                    QByteArray(1, kStoredByte)};
    QTRY_COMPARE_WITH_TIMEOUT(c.line.chunks, answers, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(c.printed, QList<QByteArray>{"programmed 1: " + hex(soundFrame())}, kWaitMs);
}

void TestSimulator::refusesAnUnsoundFrame_data() {
    QTest::addColumn<QByteArray>("frame");
    QByteArray badSum = soundFrame();
    badSum[5] = char(badSum[5] ^ 1);
    QTest::newRow("checksum") << badSum;
    QByteArray badLead = soundFrame();
    badLead[0] = 0x03;
    badLead[kFrameSize - 1] = char(badLead[kFrameSize - 1] ^ 0x01);
    QTest::newRow("leading byte") << badLead;
}

void TestSimulator::refusesAnUnsoundFrame() {
    QFETCH(QByteArray, frame);
    Controller c;
    c.sim.receive(kHandshakeRequest);
    c.sim.receive(frame);
    QTRY_COMPARE_WITH_TIMEOUT(c.line.chunks, (QList<QByteArray>{QByteArray(1, kReadyByte), "X"}), kWaitMs);
    QCOMPARE(c.printed, QList<QByteArray>{"bad frame: " + hex(frame)});
    c.sim.printSummary();
    QCOMPARE(c.printed.last(), QByteArray("summary: programmed=0 failed=1"));
}

void TestSimulator::playsItsFailureOnEveryKthController() {
    Options options;
    options.failure = Failure::RejectFrame;
    options.failEvery = 2;
    Controller c(options);
    for (int controller = 1; controller <= 2; ++controller) {
        c.sim.receive(kHandshakeRequest);
        QTRY_COMPARE_WITH_TIMEOUT(c.line.chunks.size(), controller == 1 ? 1 : 4, kWaitMs);
        c.sim.receive(soundFrame());
        QTRY_COMPARE_WITH_TIMEOUT(c.printed.size(), controller, kWaitMs);
    }
    QCOMPARE(c.printed, (QList<QByteArray>{"programmed 1: " + hex(soundFrame()), "failed 1: reject-frame"}));
    QCOMPARE(c.line.chunks.last(), QByteArray("X"));
}

void TestSimulator::finishesAfterTheCount() {
    Options options;
    options.count = 1;
    Controller c(options);
    c.sim.receive(kHandshakeRequest);
    QTRY_COMPARE_WITH_TIMEOUT(c.line.chunks.size(), 1, kWaitMs);
    c.sim.receive(soundFrame());
    QTRY_VERIFY_WITH_TIMEOUT(c.finished, kWaitMs);
    QCOMPARE(c.printed.last(), QByteArray("summary: programmed=1 failed=0"));
    // Once finished, nothing more is answered.
    c.sim.receive(kHandshakeRequest);
    QTest::qWait(50);
    QCOMPARE(c.line.chunks.size(), 3);
}

void TestSimulator::repeatedRequestGetsOneReady() {
    Options options;
    options.answerDelay = std::chrono::milliseconds(50);
    Controller c(options);
    c.sim.receive(kHandshakeRequest);
    c.sim.receive(kHandshakeRequest); // asked again while the first "U" is still on its way
    QTRY_COMPARE_WITH_TIMEOUT(c.line.chunks.size(), 1, kWaitMs);
    QTest::qWait(100);
    QCOMPARE(c.line.chunks, QList<QByteArray>{QByteArray(1, kReadyByte)});
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
