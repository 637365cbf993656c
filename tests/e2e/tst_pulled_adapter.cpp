// The adapter pulled in the middle of a run and plugged back in: the port box names a symbolic link,
// which the test points at whichever device is plugged in. Every tick is made by the test, so the
// state the pull meets is exactly the one the row names.
#include "support/SequencerHarness.h"
#include "support/SimProcess.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace qt2xx;
using namespace qt2xx::test;
using Flag = DownloadSequencer::CommFlag;

namespace {

constexpr int kWaitMs = 5000;

// The device at the far end of the link, as the test plays it.
class Adapter {
public:
    virtual ~Adapter() = default;
    virtual QString device() const = 0;
    // The controller's answer to what the host just wrote; the virtual controller gives its own.
    virtual void answer(const QByteArray& chunk) = 0;
    // The device disappears with everything it held.
    virtual void pull() = 0;
};

class PtyAdapter : public Adapter {
public:
    QString device() const override { return m_pty.slavePath(); }
    void answer(const QByteArray& chunk) override { m_pty.write(chunk); }
    void pull() override { m_pty.close(); }

private:
    Pty m_pty;
};

// The virtual controller as a separate process, killed outright when pulled.
class SimAdapter : public Adapter {
public:
    explicit SimAdapter(const QStringList& arguments) : m_sim(arguments) {}
    QString device() const override { return m_sim.device(); }
    void answer(const QByteArray&) override {}
    void pull() override { m_sim.kill(); }

private:
    SimProcess m_sim;
};

// The name the port box holds. The device node goes with the adapter, so that a number the system
// hands out again to another terminal is never reached through a stale link.
class Socket {
public:
    Socket() : m_link(m_folder.filePath(QStringLiteral("adapter"))) {}
    QString link() const { return m_link; }
    bool plug(const QString& device) { return QFile::link(device, m_link); }
    bool unplug() { return QFile::remove(m_link); }

private:
    QTemporaryDir m_folder;
    QString m_link;
};

// One tick, then the answer to what it wrote; true once the port has raised its event for it.
bool tickAndAnswer(SequencerRig& rig, Adapter& adapter, const QByteArray& chunk) {
    QSignalSpy events(&rig.port, &CommPort::onComm);
    rig.sequencer.Timer1_Timer();
    adapter.answer(chunk);
    return !events.isEmpty() || events.wait(kWaitMs);
}

// Drives a started run from its first tick into the state.
bool reach(SequencerRig& rig, Adapter& adapter, Flag state, bool portClosed) {
    if (state == DownloadSequencer::Seeking) {
        for (int i = 0; portClosed && i <= kSeekCloseTick; ++i)
            rig.sequencer.Timer1_Timer();
        return rig.port.isPortOpen() != portClosed;
    }
    if (!tickAndAnswer(rig, adapter, "U"))
        return false;
    if (state == DownloadSequencer::FrameSent)
        rig.sequencer.Timer1_Timer();
    else if (!tickAndAnswer(rig, adapter, "Q"))
        return false;
    return rig.sequencer.intCommFlag() == state;
}

// Pulls the adapter and waits until the port has told of the loss, when it had the device open.
bool pull(SequencerRig& rig, Adapter& adapter, Socket& socket) {
    const bool open = rig.port.isPortOpen();
    QSignalSpy events(&rig.port, &CommPort::onComm);
    adapter.pull();
    if (!socket.unplug())
        return false;
    return !open || events.wait(kWaitMs);
}

std::unique_ptr<Adapter> makeAdapter(const QString& kind, Flag state) {
    if (kind == QLatin1String("pty"))
        return std::make_unique<PtyAdapter>();
    // The virtual controller falls silent where the row wants the run to wait.
    QStringList arguments;
    if (state == DownloadSequencer::FrameSent)
        arguments << QStringLiteral("--silent-after-frame");
    else if (state == DownloadSequencer::Accepted)
        arguments << QStringLiteral("--silent-after-accept");
    return std::make_unique<SimAdapter>(arguments);
}

// Ticks until the new adapter has seen the first "8"; at most one seek cycle.
QByteArray seekUntilWritten(SequencerRig& rig, Pty& device) {
    QByteArray written;
    for (int i = 0; i <= kSeekCloseTick && written.isEmpty(); ++i) {
        rig.sequencer.Timer1_Timer();
        written = device.takeWritten();
    }
    return written;
}

bool answerOnPty(SequencerRig& rig, Pty& device, const QByteArray& chunk) {
    QSignalSpy events(&rig.port, &CommPort::onComm);
    return device.write(chunk) && events.wait(kWaitMs);
}

} // namespace

class TestPulledAdapter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lostOnceAndProgrammingResumes_data();
    void lostOnceAndProgrammingResumes();
};

void TestPulledAdapter::lostOnceAndProgrammingResumes_data() {
    QTest::addColumn<QString>("adapter");
    QTest::addColumn<Flag>("state");
    QTest::addColumn<bool>("portClosed");
    QTest::newRow("pty closed while seeking, port open") << "pty" << DownloadSequencer::Seeking << false;
    QTest::newRow("pty closed while seeking, port closed by the cycle")
        << "pty" << DownloadSequencer::Seeking << true;
    QTest::newRow("pty closed while waiting for the acceptance")
        << "pty" << DownloadSequencer::FrameSent << false;
    QTest::newRow("pty closed while waiting for the storage")
        << "pty" << DownloadSequencer::Accepted << false;
    QTest::newRow("controller killed while seeking") << "sim" << DownloadSequencer::Seeking << false;
    QTest::newRow("controller killed while waiting for the acceptance")
        << "sim" << DownloadSequencer::FrameSent << false;
    QTest::newRow("controller killed while waiting for the storage")
        << "sim" << DownloadSequencer::Accepted << false;
}

void TestPulledAdapter::lostOnceAndProgrammingResumes() {
    QFETCH(QString, adapter);
    QFETCH(Flag, state);
    QFETCH(bool, portClosed);
    Socket socket;
    std::unique_ptr<Adapter> first = makeAdapter(adapter, state);
    QVERIFY(!first->device().isEmpty());
    QVERIFY(socket.plug(first->device()));
    SequencerRig rig;
    rig.window.portBox = socket.link();
    rig.sequencer.cmdFileSend_Click();
    const QByteArray frame = frameBytes(rig.frame);
    QVERIFY(reach(rig, *first, state, portClosed));

    QVERIFY(pull(rig, *first, socket));
    for (int i = 0; i < 4 * kSeekCloseTick; ++i)
        rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.lines, (QList<LogLine>{{kStartTransmit, kLogBlue}, {kCommLostMessage, kLogRed}}));
    QCOMPARE(rig.sequencer.intCommFlag(), DownloadSequencer::Seeking);
    QCOMPARE(rig.window.timerSwitches, QList<bool>{true});
    QVERIFY(rig.boxes.shown.isEmpty());

    Pty second;
    QVERIFY(socket.plug(second.slavePath()));
    QCOMPARE(seekUntilWritten(rig, second), QByteArray("8"));
    QCOMPARE(rig.log.lines.last(), (LogLine{kCommBackMessage, kLogBlue}));
    QVERIFY(answerOnPty(rig, second, "U"));
    rig.sequencer.Timer1_Timer();
    QCOMPARE(second.takeWritten(), frame);
    QVERIFY(answerOnPty(rig, second, "Q"));
    QVERIFY(answerOnPty(rig, second, "R"));
    rig.sequencer.Timer1_Timer();
    QCOMPARE(rig.log.lines, (QList<LogLine>{{kStartTransmit, kLogBlue},
                                            {kCommLostMessage, kLogRed},
                                            {kCommBackMessage, kLogBlue},
                                            {"Finished", kLogBlue}}));
    QVERIFY(rig.boxes.shown.isEmpty());
    rig.sequencer.cmdFileSend_Click();
}

QTEST_GUILESS_MAIN(TestPulledAdapter)
#include "tst_pulled_adapter.moc"
