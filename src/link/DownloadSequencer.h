#pragma once

#include "link/CommFlag.h"
#include "link/PortConnection.h"
#include "link/Protocol.h"
#include "link/SequencerMessages.h"
#include "link/SequencerObserver.h"
#include "params/FrameEncoder.h"
#include "params/ParameterValues.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <cstdint>

namespace qt2xx {

class CommPort;
class MessageBox;
class StatusLog;
class TransmitWindow;

// The interval of Timer1, whose every expiry is one call of Timer1_Timer.
inline constexpr std::chrono::milliseconds kTickInterval{100};

// The tick counter's limits: the seek cycle closes the port at 3, the frame waits for its answer
// until 3 and the store until 11.
inline constexpr std::uint8_t kSeekCloseTick = 3;
inline constexpr std::uint8_t kAcceptTimeoutTick = 3;
inline constexpr std::uint8_t kStoreTimeoutTick = 11;

// The Start/Stop command and the handshake and download sequence, driven by the tick and by the
// port's receive events. It works through its port and the window's small interfaces only.
class DownloadSequencer : public RunState {
public:
    using CommFlag = qt2xx::CommFlag;
    using enum CommFlag;

    DownloadSequencer(CommPort& port, TransmitWindow& window, StatusLog& log, MessageBox& messages,
                      ParameterValues& values, DownloadFrame& frame);

    void cmdFileSend_Click(); // Start/Stop command
    void Timer1_Timer();      // one tick; the window's 100 ms QTimer calls it
    void ctrMSComm_OnComm();  // hooked to the port's event by the constructor
    void CommPortOpen_Close();

    // The observer is told of each step after the window; nullptr (the default) tells no one.
    void setObserver(SequencerObserver* observer) { m_observer = observer ? observer : &m_noObserver; }

    CommFlag intCommFlag() const override { return m_intCommFlag; }
    std::uint8_t tickCounter() const { return m_tickCounter; }

private:
    void showStarted();
    void showStopped();
    void refuseFrame(const FrameRefusal& refusal);

    void tickSeeking();
    void tickAnswered();
    void tickFrameSent();
    void tickAccepted();
    void tickStored();
    void timeOut(Outcome outcome);
    void logOutcome(Outcome outcome);

    void receiveSeeking(const QByteArray& chunk);
    void receiveAnswer(const QByteArray& chunk, char expected, CommFlag next, Outcome outcome);

    void openForSeeking();
    void deviceLost();
    void portLost();

    CommPort& m_port;
    TransmitWindow& m_window;
    StatusLog& m_log;
    MessageBox& m_messages;
    ParameterValues& m_values;
    DownloadFrame& m_frame;
    PortConnection m_connection;
    CommFlag m_intCommFlag = Idle;
    std::uint8_t m_tickCounter = 0;
    bool m_commLost = false; // "The Comm is lost" has been logged and the port has not come back yet
    SequencerObserver m_noObserver;
    SequencerObserver* m_observer = &m_noObserver;
    QObject m_context; // ends the port connection with the sequencer
};

} // namespace qt2xx
