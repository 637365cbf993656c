#include "link/DownloadSequencer.h"

#include "link/SequencerMessages.h"
#include "link/TransmitWindow.h"
#include "platform/core/CommPort.h"
#include "platform/core/MessageBox.h"

namespace qt2xx {
namespace {

bool startsWith(const QByteArray& chunk, char byte) {
    return !chunk.isEmpty() && chunk.front() == byte;
}

} // namespace

DownloadSequencer::DownloadSequencer(CommPort& port, TransmitWindow& window, StatusLog& log,
                                     MessageBox& messages, ParameterValues& values, DownloadFrame& frame)
    : m_port(port), m_window(window), m_log(log), m_messages(messages), m_values(values), m_frame(frame),
      m_connection(port, window, messages, values) {
    QObject::connect(&m_port, &CommPort::onComm, &m_context, [this] { ctrMSComm_OnComm(); });
}

void DownloadSequencer::CommPortOpen_Close() {
    if (m_intCommFlag != Idle) {
        m_intCommFlag = Idle;
        m_connection.stop();
        return;
    }
    m_commLost = false;
    if (m_connection.start())
        m_intCommFlag = Seeking;
}

void DownloadSequencer::cmdFileSend_Click() {
    CommPortOpen_Close();
    if (m_intCommFlag != Idle) {
        const auto refusal = BuildDownloadFrame(m_values, m_frame);
        if (!refusal) {
            showStarted();
            return;
        }
        refuseFrame(*refusal);
    }
    showStopped();
}

void DownloadSequencer::showStarted() {
    m_log.ReceiveDisplay(kStartTransmit, kLogBlue);
    m_window.setFileSendCaption(kStopTransmit);
    m_window.setControlsEnabled(false);
    m_window.setTimerEnabled(true);
    m_observer->runStarted();
}

void DownloadSequencer::showStopped() {
    m_log.ReceiveDisplay(kCommClosedMessage, kLogBlue);
    m_window.setFileSendCaption(kStartTransmit);
    m_window.setControlsEnabled(true);
    m_window.setTimerEnabled(false);
    m_window.setIndicatorEnabled(true);
    m_observer->runStopped();
}

// A set without a frame must not reach a controller. The port is closed before the box opens, so
// nothing can arrive or go out while the operator reads it.
void DownloadSequencer::refuseFrame(const FrameRefusal& refusal) {
    m_connection.stop();
    m_intCommFlag = Idle;
    m_messages.show(refusal.message());
}

void DownloadSequencer::Timer1_Timer() {
    m_window.setIndicatorEnabled(!m_window.indicatorEnabled());
    switch (m_intCommFlag) {
    case Seeking:
        tickSeeking();
        break;
    case Answered:
        tickAnswered();
        break;
    case FrameSent:
        tickFrameSent();
        break;
    case Accepted:
        tickAccepted();
        break;
    case Stored:
        tickStored();
        break;
    default:
        break;
    }
    ++m_tickCounter;
}

void DownloadSequencer::tickSeeking() {
    if (m_tickCounter < kSeekCloseTick) {
        if (!m_port.isPortOpen())
            openForSeeking();
    } else {
        m_tickCounter = 0;
        if (m_port.isPortOpen())
            m_port.close();
    }
    if (m_port.isPortOpen() && !m_port.outputText(QString::fromLatin1(kHandshakeRequest)))
        portLost();
    m_window.setProgressValue(0);
}

void DownloadSequencer::tickAnswered() {
    const QByteArrayView bytes(reinterpret_cast<const char*>(m_frame.data()), qsizetype(m_frame.size()));
    if (!m_port.outputBytes(bytes)) {
        portLost();
        return;
    }
    m_window.setProgressValue(50);
    m_intCommFlag = FrameSent;
}

void DownloadSequencer::tickFrameSent() {
    m_window.setProgressValue(75);
    if (m_tickCounter >= kAcceptTimeoutTick)
        timeOut(Outcome::NoResponse);
}

void DownloadSequencer::tickAccepted() {
    if (m_tickCounter >= kStoreTimeoutTick)
        timeOut(Outcome::NoStorageResponse);
}

void DownloadSequencer::tickStored() {
    m_intCommFlag = Seeking;
    m_window.setProgressValue(100);
    logOutcome(Outcome::Finished);
}

// Switching the timer off and on again gives the next tick a fresh interval.
void DownloadSequencer::timeOut(Outcome outcome) {
    m_window.setTimerEnabled(false);
    m_tickCounter = 0;
    m_intCommFlag = Seeking;
    const LogEntry entry = OutcomeLogEntry(outcome);
    m_log.ReceiveDisplay(entry.text, entry.color);
    m_window.setTimerEnabled(true);
    m_observer->controllerDone(outcome);
}

void DownloadSequencer::logOutcome(Outcome outcome) {
    const LogEntry entry = OutcomeLogEntry(outcome);
    m_log.ReceiveDisplay(entry.text, entry.color);
    m_observer->controllerDone(outcome);
}

void DownloadSequencer::ctrMSComm_OnComm() {
    const int event = m_port.commEvent();
    if (event == kCommEventLost) {
        deviceLost();
        return;
    }
    if (event != kCommEventReceive)
        return;
    const QByteArray chunk = m_port.input();
    switch (m_intCommFlag) {
    case Seeking:
        receiveSeeking(chunk);
        break;
    case FrameSent:
        receiveAnswer(chunk, kAcceptedByte, Accepted, Outcome::TransmitFailure);
        break;
    case Accepted:
        receiveAnswer(chunk, kStoredByte, Stored, Outcome::StorageFailure);
        break;
    default:
        break;
    }
}

void DownloadSequencer::receiveSeeking(const QByteArray& chunk) {
    m_tickCounter = 0;
    if (!startsWith(chunk, kReadyByte))
        return;
    m_intCommFlag = Answered;
    m_observer->controllerAnswered();
}

// An empty read tells nothing about the controller: only the counter is reset.
void DownloadSequencer::receiveAnswer(const QByteArray& chunk, char expected, CommFlag next,
                                      Outcome outcome) {
    m_tickCounter = 0;
    if (chunk.isEmpty())
        return;
    if (startsWith(chunk, expected)) {
        m_intCommFlag = next;
        return;
    }
    m_intCommFlag = Seeking;
    logOutcome(outcome);
}

void DownloadSequencer::openForSeeking() {
    if (m_port.open() != kPortOk) {
        portLost();
        return;
    }
    if (m_commLost) {
        m_commLost = false;
        m_log.ReceiveDisplay(kCommBackMessage, kLogBlue);
        m_observer->commBack();
    }
}

// A controller that has stored the frame is done whatever becomes of the port: the next tick reports
// it, and the seek cycle after it finds the port gone.
void DownloadSequencer::deviceLost() {
    if (m_intCommFlag == Idle)
        return;
    if (m_intCommFlag == Stored) {
        m_port.close();
        return;
    }
    portLost();
}

// The bench may run unattended, so a lost port is logged once and never stops the run: each opening
// tick of the seek cycle tries again.
void DownloadSequencer::portLost() {
    m_port.close();
    m_intCommFlag = Seeking;
    if (m_commLost)
        return;
    m_commLost = true;
    m_log.ReceiveDisplay(kCommLostMessage, kLogRed);
    m_observer->commLost();
}

} // namespace qt2xx
