#pragma once

#include "record/ProductionRecord.h"
#include "station/StationPort.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <memory>
#include <utility>
#include <vector>

namespace qt2xx {

class RecordWriter;
class RunRecorder;

// Several ports at once, all on one thread, every one sending the same frame. The station counts
// the finished controllers over all ports and stops at a given count.
class Station : public QObject {
    Q_OBJECT
public:
    Station(const ParameterValues& values, const DownloadFrame& frame, QObject* parent = nullptr);
    ~Station() override;

    // Keeps the production record of every port through the writer, which must outlive the
    // station; set before the ports are added. A finished unit is then told once its record is
    // committed.
    void setRecordWriter(RecordWriter* writer) { m_writer = writer; }

    // The order, operator and station every record carries; set before the ports are added.
    void setRecordContext(RecordContext context) { m_context = std::move(context); }

    // Adds a port for a device; ports are started by start().
    StationPort& addPort(const QString& device);
    const std::vector<std::unique_ptr<StationPort>>& ports() const { return m_ports; }

    // Stop once this many controllers have finished over all ports; 0 runs until stop().
    void setCount(int count) { m_count = count; }

    // Starts the paused ports that may run again, e.g. one just armed with a serial.
    void rebalance() { balance(nullptr, false); }

    // Starts every port; the ports that did not open are told through openFailed() and dropped.
    // Returns the number of ports running.
    int start();
    // Stops every port as the Start/Stop command does; stopped() follows. A port whose controller
    // has stored the frame first reports it finished.
    void stop();
    bool isStopped() const { return m_stopped; }
    // Not stopped, with a port that seeks, programs or waits paused to run again.
    bool running() const;
    // A controller's exchange is under way on a port: it answered and has no outcome yet.
    bool exchangeUnderWay() const { return busyPorts() > 0; }

    // A finished unit whose record went to a writer is told only once the writer has committed it.
    void recordCommitted(quint64 ticket);
    // Finished units whose records are not yet confirmed; at the end they count as not finished.
    int unconfirmed() const;

    // No record, no programming: while records cannot be written, no port begins a controller.
    // Exchanges under way finish, seeking ports pause, and they seek again once a write succeeds.
    void setRecordsFailing(bool failing, const QString& reason = QString());
    bool recordsFailing() const { return m_recordsFailing; }

    int finished() const;
    int failed() const; // failures and interrupted exchanges
    qint64 elapsedMs() const { return m_elapsed.isValid() ? m_elapsed.elapsed() : 0; }
    const DownloadFrame& frame() const { return m_frame; }
    // The file the set was read from, which the records name; the station never changes the set.
    void setParameterFile(const QString& path) { m_parameterFile = path; }

Q_SIGNALS:
    void event(const qt2xx::PortEvent& event);
    // Scanned, a port's unit ended and must be taken out before its slot takes another serial; and
    // later, the unit has been taken out.
    void removeUnit(const QString& device, const QString& serial);
    void unitRemoved(const QString& device);
    void openFailed(const QString& device, const QString& problem);
    void changed();
    void stopped();
    // Records cannot be written (reason), or can be again (empty reason).
    void recordsFailed(const QString& reason);
    void recordsResumed();
    // The count is made up but the station waits for this many records to be committed.
    void waitingForRecords(int records);

private:
    void attachRecorder(StationPort& port);
    void onPortEvent(StationPort& port, const PortEvent& event);
    void balance(StationPort* source, bool sourceFailed);
    void pauseLater(StationPort& port);
    int busyPorts() const;

    const ParameterValues m_values;
    DownloadFrame m_frame;
    QString m_parameterFile;
    RecordContext m_context;
    RecordWriter* m_writer = nullptr;
    std::vector<std::unique_ptr<RunRecorder>> m_recorders; // outlive the ports that tell them
    std::vector<std::unique_ptr<StationPort>> m_ports;
    int m_count = 0;
    bool m_running = false; // start() has run; before it, no port is paused or started again
    bool m_stopped = false;
    bool m_stopping = false; // a stop has begun: no port is paused or started again
    bool m_recordsFailing = false;
    int m_toldWaiting = 0; // the held records last told by waitingForRecords()
    QElapsedTimer m_elapsed;
};

} // namespace qt2xx
