#pragma once

#include "link/DownloadSequencer.h"
#include "link/SequencerObserver.h"
#include "link/TransmitWindow.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SerialPort.h"
#include "station/PortEvent.h"
#include "station/RemovalWatch.h"
#include "station/UnitTally.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

namespace qt2xx {

// How closely the port kept its 100 ms rhythm and how long its handlers took.
struct PortTiming {
    std::chrono::nanoseconds longestTick{0};
    std::chrono::nanoseconds longestReceive{0};
    std::chrono::nanoseconds largestTickGap{0}; // between two ticks of one uninterrupted timer run
    qint64 ticks = 0;
};

// A slot's unit-present contact, as whoever reads it tells the port.
enum class UnitContact {
    None,    // the slot has none: the removal watch asks the handshake
    Unknown, // the slot has one that cannot be read now, e.g. its module does not answer
    Open,    // no unit sits in the slot
    Closed,  // a unit sits in the slot
};

// How the port's last unit ended, as its outcome event told it.
struct UnitEnd {
    bool finished = false;
    QString serial;  // the serial it was armed with
    QString failure; // the log's last line when it failed
};

// One port of the station: its own serial port, download sequencer, 100 ms timer and state. It plays
// the window for its sequencer and keeps what a view shows: state, progress, last message, counts.
class StationPort : public QObject,
                    private TransmitWindow,
                    private StatusLog,
                    private MessageBox,
                    private SequencerObserver {
    Q_OBJECT
public:
    // values and frame are shared by every port; the sequencer rebuilds the frame from the same
    // values at each start, so the bytes never differ.
    StationPort(QString device, const ParameterValues& values, DownloadFrame& frame,
                QObject* parent = nullptr);
    ~StationPort() override;

    const QString& device() const { return m_device; }

    // Opens the port and starts seeking; false with openProblem() when the port did not open.
    bool start();
    // Stops as the Start/Stop command does. A final stop tells "stopped"; a pause says nothing.
    void stop(bool final = true);
    bool running() const { return m_sequencer.intCommFlag() != DownloadSequencer::Idle; }
    bool paused() const { return m_paused; }
    // The exchange of a controller is under way: it answered and has no outcome yet.
    bool busy() const { return m_tally.open(); }

    // Scanned, the port programs one controller per serial it is armed with: it does not seek while
    // it waits for a serial, and once the unit of that serial ends, whatever its outcome, it pauses
    // after the handler that ended it, so a controller left connected is not programmed twice.
    void setScanned(bool scanned) { m_scanned = scanned; }
    bool scanned() const { return m_scanned; }
    // The serial of the next unit; the caller starts the port once mayRun(). Armed while it watches
    // (its failed unit tried again), the port seeks once the watch has handed over.
    void arm(const QString& serial, bool rework);
    const QString& serial() const { return m_serial; }
    bool rework() const { return m_rework; }
    // The unit under way was begun without the plant's claim while the bench went on by its own
    // records; its record says so. Told when the unit begins, kept until the next begins.
    void setOffline(bool offline) { m_offline = offline; }
    bool offline() const { return m_offline; }
    // The serial its slot took while the plant is asked whether the unit may be made here; empty
    // when none is being asked. The port stays as it was meanwhile.
    void setCheckingSerial(const QString& serial) {
        m_checkingSerial = serial;
        Q_EMIT changed();
    }
    const QString& checkingSerial() const { return m_checkingSerial; }
    // Whether the port may seek now: always, unless held, or scanned and waiting for a serial.
    bool mayRun() const { return !m_held && (!m_scanned || (!m_serial.isEmpty() && !watching())); }
    // Held, the port may not seek: its next unit waits for the plant's claim. The caller pauses a
    // port that seeks and starts it again once it is let go.
    void setHeld(bool held) {
        m_held = held;
        Q_EMIT changed();
    }
    bool held() const { return m_held; }

    // Scanned, a port whose unit ended watches, paused, for the unit to be taken out (RemovalWatch,
    // or its contact opening) and takes no serial but that unit's own until it is gone.
    bool watching() const { return m_watch.watching() || m_contactWatch; }

    // A slot with a unit-present contact is told each state of it; from the first, the contact
    // replaces the handshake watch: the unit counts as gone when the contact opens. A contact that
    // opens on an armed slot whose exchange has not begun drops the serial (scanDropped()). Told
    // again with the same state, nothing changes.
    void contactChanged(UnitContact contact);
    UnitContact contact() const { return m_contact; }
    // Whether the slot can take a serial now: no unit is under way, the unit before has been taken
    // out and, with a contact, a unit sits in the slot. A contact that cannot be read takes none.
    bool takesScan() const;
    // With a contact, the slot could take a serial but for the unit missing from it.
    bool waitsForUnit() const;
    // The serial of the unit being watched for.
    const QString& watchedSerial() const { return m_watchedSerial; }

    // The message box text and its reason from the last failed start.
    QString openProblem() const { return m_openProblem; }

    CommFlag state() const { return m_sequencer.intCommFlag(); }
    float progress() const { return m_progress; }
    QString lastMessage() const { return m_lastMessage; }
    LogColor lastColor() const { return m_lastColor; }
    const UnitTally& tally() const { return m_tally; }
    int unit() const { return m_tally.unit(); }
    int finished() const { return m_tally.finished(); }
    int failed() const { return m_tally.failed(); }
    int interrupted() const { return m_tally.interrupted(); }
    // The last failure the log told, kept after a stop tells its own line.
    QString lastFailure() const { return m_lastFailure; }
    bool lost() const { return m_lost; }
    // The unit last ended, until the next begins; empty before the first.
    const std::optional<UnitEnd>& lastEnd() const { return m_lastEnd; }
    const PortTiming& timing() const { return m_timing; }

    // Told of every step before the port itself, e.g. a recorder, which hands the ticket of the
    // outcome's record to recordSubmitted().
    void setRecorder(SequencerObserver* recorder) { m_recorder = recorder; }
    void recordSubmitted(quint64 ticket) { m_tally.recordSubmitted(ticket); }
    // A writer committed a record; a finished unit held for it is told now.
    void recordCommitted(quint64 ticket);

    // With manual ticks the timer never runs: whoever drives the port calls tick() while
    // timerEnabled(), so every tick is made on purpose.
    void setManualTicks(bool manual) {
        m_manualTicks = manual;
        m_watch.setManualTicks(manual);
    }
    bool timerEnabled() const { return m_timerEnabled; }
    void tick();
    // One interval of the removal watch, with manual ticks.
    void watchTick() { m_watch.tick(); }

Q_SIGNALS:
    void event(const qt2xx::PortEvent& event);
    void changed(); // something the view shows has changed
    // The unit under way ended with this event, told at once even when the event itself waits for
    // its record; a scanned port waits for its next serial from here on.
    void unitEnded(const qt2xx::PortEvent& event);
    // The unit ended and must be taken out before the slot takes another serial; the watch begins.
    void removeUnit(const QString& device, const QString& serial);
    // The watched unit has been taken out.
    void unitRemoved(const QString& device);
    // The port may run now, having been unable to: its watch handed over to an armed serial.
    void mayRunNow();
    // The slot's contact changed, and with it whether the slot takes a scan.
    void contactMoved();
    // The armed unit was taken out before its exchange began: the port has paused without a unit or
    // a record, and waits for a serial again; the same serial may be scanned again.
    void scanDropped(const QString& device, const QString& serial);

private:
    // TransmitWindow
    QString comboText(int index) const override { return m_values[index]; }
    QString portBoxText() const override { return m_device; }
    void setFileSendCaption(const QString&) override {}
    void setControlsEnabled(bool) override {}
    bool indicatorEnabled() const override { return m_indicator; }
    void setIndicatorEnabled(bool enabled) override { m_indicator = enabled; }
    void setProgressValue(float value) override;
    void setTimerEnabled(bool enabled) override;
    // StatusLog
    void ReceiveDisplay(const QString& strAdd, LogColor intColor) override;
    // MessageBox
    void show(const QString& text, const QString& informative) override;
    // SequencerObserver
    void runStarted() override;
    void controllerAnswered() override;
    void controllerDone(Outcome outcome) override;
    void commLost() override;
    void commBack() override;
    void runStopped() override;

    void beginReceive();
    void endReceive();
    void tell(PortEventKind kind, Outcome outcome = Outcome::Finished);
    void emitEvent(const PortEvent& event);
    void closeUnit(PortEventKind kind, Outcome outcome = Outcome::Finished);
    PortEvent makeEvent(PortEventKind kind, Outcome outcome) const;
    void pauseIfDue();
    void beginWatch();
    void endWatch();
    void contactGone();
    void dropScan();

    QString m_device;
    const ParameterValues& m_values;
    ParameterValues m_captured; // the sequencer's capture lands here and always equals m_values
    SerialPort m_port;
    // Connected before the sequencer hooks the port, so it runs first and times the receive handler.
    QMetaObject::Connection m_receiveTimer;
    DownloadSequencer m_sequencer;
    QTimer m_timer;
    SequencerObserver* m_recorder = nullptr;

    bool m_manualTicks = false;
    bool m_timerEnabled = false;
    bool m_indicator = true;
    float m_progress = 0;
    QString m_lastMessage;
    LogColor m_lastColor = LogColor(0);
    QString m_openProblem;
    QString m_lastFailure;
    UnitTally m_tally;
    bool m_lost = false;
    std::optional<UnitEnd> m_lastEnd;
    bool m_finalStop = true;
    bool m_paused = false; // stopped by the count's balance; the final stop still tells "stopped"
    bool m_scanned = false;
    QString m_serial;
    QString m_checkingSerial;
    bool m_held = false;
    bool m_rework = false;
    bool m_offline = false;
    bool m_pauseDue = false; // a scanned unit ended inside a handler: pause once it returns
    bool m_watchDue = false; // and watch for its removal once paused
    RemovalWatch m_watch;
    QString m_watchedSerial;
    UnitContact m_contact = UnitContact::None;
    bool m_contactWatch = false; // the unit's removal is watched by its contact

    PortTiming m_timing;
    QElapsedTimer m_clock;
    qint64 m_lastTickNs = -1; // -1: the timer has just been (re)started
    qint64 m_receiveBeganNs = 0;
};

} // namespace qt2xx
