#include "ControllerSim.h"

#include "link/Protocol.h"
#include "params/FrameEncoder.h"
#include "params/FrameHex.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace qt2xx::sim {
namespace {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

// What the controller answers to a frame or a store it refuses.
constexpr char kRefused = 'X';

// A frame that stops coming for this long is judged as it stands; the host has given up by then.
constexpr Milliseconds kFrameTimeout = 1s;
// Storing takes a controller a moment. It also keeps "Q" and "R" in separate chunks on the host side.
constexpr Milliseconds kStoreTime = 20ms;
// While the host has not yet read an answer, the input queue is looked at this often, at most this long.
constexpr Milliseconds kDrainPoll = 2ms;
constexpr Milliseconds kDrainLimit = 1s;
// Stray bytes while seeking: a few per second, at random moments.
constexpr int kNoiseMinMs = 150;
constexpr int kNoiseMaxMs = 600;
// A byte written to the master reaches the host's input queue a moment later; until then the queue
// looks drained. Before finishing, the sim lets the last answer settle for this long.
constexpr Milliseconds kExitSettle = 100ms;

QByteArray hexPairs(const QByteArray& bytes) {
    return qt2xx::FrameHex(bytes, ' ').toLatin1();
}

} // namespace

bool FrameIsSound(const QByteArray& frame) {
    const char lead[] = {char(kFrameLead0), char(kFrameLead1)};
    if (frame.size() != kFrameSize || !frame.startsWith(QByteArrayView(lead, sizeof lead)))
        return false;
    char sum = 0;
    for (char byte : frame)
        sum ^= byte;
    return sum == 0;
}

ControllerSim::ControllerSim(const Options& options, SimLine& line, Print print)
    : m_options(options), m_line(line), m_print(std::move(print)) {
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(kFrameTimeout);
    connect(&m_frameTimer, &QTimer::timeout, this, &ControllerSim::giveUpFrame);
    m_noiseTimer.setSingleShot(true);
    connect(&m_noiseTimer, &QTimer::timeout, this, &ControllerSim::sendNoise);
    m_swapTimer.setSingleShot(true);
    connect(&m_swapTimer, &QTimer::timeout, this, &ControllerSim::putNewIn);
    if (m_options.noise)
        scheduleNoise();
}

void ControllerSim::receive(QByteArrayView bytes) {
    for (char byte : bytes)
        take(byte);
}

void ControllerSim::take(char byte) {
    switch (m_phase) {
    case Phase::Seeking:
        if (byte == kHandshakeByte) {
            m_hostWaiting = false;
            m_phase = Phase::Receiving;
            answerHandshake();
        }
        break;
    case Phase::Receiving:
        // A host that got no "U" yet keeps asking. A request is answered only when no "U" is still on
        // its way: a second "U" would reach the host after its frame and fail the exchange.
        if (m_frame.isEmpty() && byte == kHandshakeByte) {
            if (m_pendingReplies == 0)
                answerHandshake();
            break;
        }
        m_frame.append(byte);
        m_frameTimer.start();
        if (m_frame.size() == kFrameSize) {
            m_frameTimer.stop();
            m_phase = Phase::Seeking;
            judgeFrame(std::exchange(m_frame, {}));
        }
        break;
    case Phase::Out:
    case Phase::Done:
        break;
    }
}

void ControllerSim::answerHandshake() {
    reply(QByteArray(1, kReadyByte), {}, [this] {
        if (m_phase == Phase::Receiving && m_frame.isEmpty())
            m_frameTimer.start();
    });
}

void ControllerSim::giveUpFrame() {
    m_phase = Phase::Seeking;
    if (!m_frame.isEmpty())
        refuse(std::exchange(m_frame, {}));
}

void ControllerSim::refuse(const QByteArray& frame) {
    m_print("bad frame: " + hexPairs(frame));
    ++m_failed;
    reply(QByteArray(1, kRefused), {}, [] {});
}

void ControllerSim::judgeFrame(const QByteArray& frame) {
    if (!FrameIsSound(frame)) {
        refuse(frame);
        return;
    }
    const Failure failure = failureFor(++m_framesTaken);
    m_hostWaiting = failure == Failure::SilentAfterFrame || failure == Failure::SilentAfterAccept ||
                    failure == Failure::OneChunk;
    const auto failed = [this, failure] { reportFailed(failure); };
    const QByteArray accepted(1, kAcceptedByte);
    switch (failure) {
    case Failure::None:
        reply(accepted, QByteArray(1, kStoredByte), [this, frame] { reportProgrammed(frame); });
        break;
    case Failure::RejectFrame:
        reply(QByteArray(1, kRefused), {}, failed);
        break;
    case Failure::RejectStore:
        reply(accepted, QByteArray(1, kRefused), failed);
        break;
    case Failure::SilentAfterFrame:
        reply({}, {}, failed);
        break;
    case Failure::SilentAfterAccept:
        reply(accepted, {}, failed);
        break;
    case Failure::OneChunk:
        reply(accepted + kStoredByte, {}, failed);
        break;
    }
}

// Sends first after the answer delay and second after the storage time as well, once the host has
// read first; then reports the outcome. An empty part is not sent.
void ControllerSim::reply(QByteArray first, QByteArray second, std::function<void()> outcome) {
    ++m_pendingReplies;
    const auto done = [this, outcome] {
        --m_pendingReplies;
        if (m_phase != Phase::Done)
            outcome();
    };
    QTimer::singleShot(m_options.answerDelay, this, [this, first, second, done] {
        if (m_phase == Phase::Done)
            return;
        if (!first.isEmpty())
            m_line.write(first);
        if (second.isEmpty()) {
            done();
            return;
        }
        afterHostRead(std::max(m_options.answerDelay, kStoreTime), [this, second, done] {
            if (m_phase != Phase::Done)
                m_line.write(second);
            done();
        });
    });
}

// Runs then once the host has read what was sent, waiting at least atLeast and at most kDrainLimit
// more: a host that closed the port does not read.
void ControllerSim::afterHostRead(Milliseconds atLeast, std::function<void()> then) {
    auto* poll = new QTimer(this);
    QElapsedTimer waited;
    waited.start();
    connect(poll, &QTimer::timeout, this, [this, poll, waited, atLeast, then] {
        const Milliseconds elapsed(waited.elapsed());
        if (elapsed < atLeast || (m_line.unreadByHost() > 0 && elapsed < atLeast + kDrainLimit))
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start(kDrainPoll);
}

void ControllerSim::reportProgrammed(const QByteArray& frame) {
    ++m_programmed;
    m_print("programmed " + QByteArray::number(m_programmed) + ": " + hexPairs(frame));
    if (m_options.count > 0 && m_programmed >= m_options.count)
        finish();
    else if (m_options.swap)
        takeOut();
}

// Whatever the host sends while the slot is empty reaches nobody.
void ControllerSim::takeOut() {
    m_phase = Phase::Out;
    m_swapTimer.start(*m_options.swap);
}

// A fresh controller: it knows nothing of the last one's exchange.
void ControllerSim::putNewIn() {
    if (m_phase != Phase::Out)
        return;
    m_phase = Phase::Seeking;
    m_frame.clear();
    m_hostWaiting = false;
    ++m_units;
    m_print("new unit " + QByteArray::number(m_units));
}

void ControllerSim::reportFailed(Failure failure) {
    ++m_failed;
    m_print("failed " + QByteArray::number(m_failed) + ": " + FailureName(failure));
}

// The last "R" must reach the host before the line closes.
void ControllerSim::finish() {
    printSummary();
    m_phase = Phase::Done;
    m_noiseTimer.stop();
    m_swapTimer.stop();
    afterHostRead(kExitSettle, [this] { onFinished(); });
}

void ControllerSim::printSummary() const {
    m_print("summary: programmed=" + QByteArray::number(m_programmed) +
            " failed=" + QByteArray::number(m_failed));
}

void ControllerSim::scheduleNoise() {
    m_noiseTimer.start(QRandomGenerator::global()->bounded(kNoiseMinMs, kNoiseMaxMs + 1));
}

void ControllerSim::sendNoise() {
    if (m_phase == Phase::Done)
        return;
    if (m_phase == Phase::Seeking && m_pendingReplies == 0 && !m_hostWaiting) {
        char byte = kReadyByte;
        while (byte == kReadyByte)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        m_line.write(QByteArray(1, byte));
    }
    scheduleNoise();
}

Failure ControllerSim::failureFor(int controller) const {
    if (m_options.failEvery > 0 && controller % m_options.failEvery != 0)
        return Failure::None;
    return m_options.failure;
}

} // namespace qt2xx::sim
