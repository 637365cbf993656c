#pragma once

#include "SimOptions.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace qt2xx::sim {

// The controller's end of the serial line.
class SimLine {
public:
    virtual ~SimLine() = default;
    // Sends bytes to the host; nothing waits for the host to read them.
    virtual void write(const QByteArray& bytes) = 0;
    // How many bytes the host has not read yet.
    virtual int unreadByHost() const = 0;
};

// The controller side of the download protocol: every "8" is answered with "U", the 32 bytes that
// follow are the frame, a sound frame is answered with "Q" and then "R". Bytes come in through
// receive(); answers go out through the line; each outcome is one line handed to print.
class ControllerSim : public QObject {
public:
    using Print = std::function<void(const QByteArray& line)>;

    ControllerSim(const Options& options, SimLine& line, Print print);

    void receive(QByteArrayView bytes);
    // The closing line, "summary: programmed=P failed=F".
    void printSummary() const;
    // Called once --count controllers are programmed and the last answer has reached the host.
    std::function<void()> onFinished = [] {};

private:
    // Out: with --swap, the controller that stored its frame was taken out and nothing answers.
    enum class Phase { Seeking, Receiving, Out, Done };

    void take(char byte);
    void answerHandshake();
    void judgeFrame(const QByteArray& frame);
    void giveUpFrame();
    void reply(QByteArray first, QByteArray second, std::function<void()> outcome);
    void afterHostRead(std::chrono::milliseconds atLeast, std::function<void()> then);
    void reportProgrammed(const QByteArray& frame);
    void reportFailed(Failure failure);
    void refuse(const QByteArray& frame);
    void finish();
    void takeOut();
    void putNewIn();
    void scheduleNoise();
    void sendNoise();
    Failure failureFor(int controller) const;

    Options m_options;
    SimLine& m_line;
    Print m_print;
    QTimer m_frameTimer;
    QTimer m_noiseTimer;
    QTimer m_swapTimer;
    Phase m_phase = Phase::Seeking;
    QByteArray m_frame;
    int m_framesTaken = 0;
    int m_programmed = 0;
    int m_failed = 0;
    int m_pendingReplies = 0;
    int m_units = 1; // the controllers put in so far
    // A host left without its answer goes on waiting for it until its timeout, and would take a stray
    // byte for the answer. The noise holds off until the host asks for the next controller.
    bool m_hostWaiting = false;
};

// Whether 32 bytes are a frame a controller takes: the two leading bytes, and an XOR of 0 over all.
bool FrameIsSound(const QByteArray& frame);

} // namespace qt2xx::sim
