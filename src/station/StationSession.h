#pragma once

#include "files/SetFile.h"
#include "forward/ClaimStore.h"
#include "forward/ServerAddress.h"
#include "station/Devices.h"
#include "station/LabelSink.h"
#include "station/OrderFigures.h"
#include "station/OrderRun.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace qt2xx {

class ClaimClient;
class Forwarder;
class OrderRun;
class RecordStore;
class RecordWriter;
class Station;

// What a station program is asked to run: the set, the ports and where the records go.
struct SessionOptions {
    QString setFile;   // empty with an order: the order names the set
    QString orderFile; // a work order, read instead of setFile when given
    bool scan = false; // arm each port by a scan; implied by an order's serial pattern
    bool rework = false;
    QString operatorId;
    QString stationName; // empty: the host name
    QStringList ports;   // as given: port numbers or device paths
    int count = 0;       // 0: until stopped
    bool record = true;
    QString recordPath; // empty: the default database
    std::optional<ServerAddress> recordServer;
    QString labelPrinter;  // empty: no labels; else where each finished unit's label goes
    QString labelTemplate; // a ZPL template file; empty: the order's "label", else the default label
};

// The one line that says why a session cannot run, with the exit status it ends with.
struct SessionRefusal {
    int status = 0;
    QString text;
};

// A sentence for the operator, of a kind each face places where it belongs.
struct SessionNotice {
    enum class Kind {
        PortNotOpen,       // a port named that did not open, with its reason
        Records,           // where the records are kept, and the server they are forwarded to
        RecordsFailing,    // records cannot be written (reason); no controller is begun meanwhile
        RecordsResumed,    // they can again; the ports seek again
        WaitingForRecords, // the count is made up, and the last records are being written
        ForwardingStopped, // the server is not reached or refuses (reason); records wait locally
        ForwardingResumed,
        EndOfRun,      // what the last wait for the records and the server left open
        LabelsStopped, // the printer does not take the labels (reason); they wait in the local database
        LabelsResumed,
        LabelsInDoubt, // labels a program stopped while sending: they may not have printed
        PlantRules,    // which rules arm the slots changed (StationSession::plantRules()); reason when away
        OrderRefused,  // the server's order differs from the order file; the session ends, exit status 2
    };
    Kind kind = Kind::PortNotOpen;
    QString text;
    QString reason; // of a failure, as the part that failed said it
};

// Where forwarding to the record server stands.
struct ForwardingState {
    bool stopped = false;
    qint64 waiting = 0; // records not yet taken
    QString reason;     // why it stopped, on one line
};

// Where the labels stand: each finished unit's label is queued with its record and printed from
// there, so a printer that is away holds up nothing.
struct LabelsState {
    QString printer; // as given; empty: no labels
    bool stopped = false;
    qint64 waiting = 0; // labels not yet printed; -1 when the queue cannot be read
    int printed = 0;    // in this session
    QString reason;     // why the printer stopped, on one line

    // "labels: 12 printed", "labels: 3 waiting: printer tcp://... not answering"; the reason is the
    // notice's.
    QString text() const;
};

// Which rules arm a slot of an order that is forwarded to a record server.
enum class PlantRules {
    None,     // no order, or no server: the bench's own rules, as always
    Checking, // the order is being checked with the server; no port has started
    Plant,    // each unit is claimed on the server before its slot is armed
    Stopped,  // the server is away and the order says "stop": no slot is armed until it answers
    Local,    // the server is away and the order says "local": the bench goes on by its own records
};
// "plant", "checking the order with the server", "stopped: server away", "local: server away";
// empty for None.
QString PlantRulesText(PlantRules rules);
// The word scripts read: "none", "checking", "plant", "stopped", "local".
QString PlantRulesName(PlantRules rules);

// Everything a station program opens before its ports run, and closes after: the set, the record
// writer and its forwarder, and a station with the ports. Every face of the station opens it the
// same way, so each refuses the same things with the same words.
class StationSession : public QObject {
    Q_OBJECT
public:
    explicit StationSession(QObject* parent = nullptr);
    ~StationSession() override;

    // Reads the set or the order and its set, resolves the ports and opens the record; false with refusal()
    // when a part of it cannot be used. Nothing is written to a port here.
    bool open(const SessionOptions& options, const QString& deviceDirectory = QStringLiteral("/dev"));
    // How a program that links the label library prints labels; without it a session refuses
    // SessionOptions::labelPrinter. Set before open().
    void setLabelSinks(LabelSinkFactory factory) { m_labelSinks = std::move(factory); }
    const std::optional<SessionRefusal>& refusal() const { return m_refusal; }

    // A fresh station over the opened set and ports. A previous one is kept, stopped, so that its
    // units whose records are still being written are told when they are. Ports are started by
    // start().
    Station& newStation();
    Station* station() const { return m_station.get(); }
    // Starts the station's ports; a port that does not open is told through notice(). False with
    // refusal() when none opened, or when the order is complete already (exit status 0). An order
    // forwarded to a server is checked with it first: the ports start once the server agrees
    // (plantRules() is Checking until then), and an order the server knows otherwise is refused
    // through notice() (OrderRefused, refusal() set) and the station stops without a port started.
    bool start();
    // The rules a slot is armed by now, and whether the plant's rules are kept: false while the
    // server is away from an order forwarded to it, whatever the order's offline rule.
    PlantRules plantRules() const { return m_plantRules; }
    bool plantRulesKept() const {
        return m_plantRules != PlantRules::Stopped && m_plantRules != PlantRules::Local;
    }
    // Why the server is away, while it is; else empty.
    const QString& plantAwayReason() const { return m_plantAway; }
    // The order's progress in the whole plant, as the server last told it; empty before it has.
    const std::optional<OrderProgress>& plant() const { return m_plantProgress; }
    // "plant 312 / 500, this bench 120; rules: plant", as every face shows it; empty without a
    // plant to share the order with.
    QString plantLine() const;
    // A port of the current station seeks, programs or waits to run again, or the ports wait for the
    // server's word on the order.
    bool running() const;
    // A controller's exchange is under way on the current station.
    bool exchangeUnderWay() const;
    // Units finished and failed (cut short included) over every station of the session.
    int finished() const;
    int failed() const;
    // The order's figures over its whole record, this session included; without an order or a
    // record, the units of this session.
    const UnitCounts& figures() const { return m_tally.counts(); }
    // The order and scan rules of the current station.
    OrderRun* run() const { return m_run.get(); }
    const OrderPlan& plan() const { return m_plan; }

    const SetFile& set() const { return m_set; }
    QString setPath() const { return m_setPath; }
    QString setSha256() const; // the records' parameter_sha256 of the set
    const std::vector<PortChoice>& ports() const { return m_ports; }
    RecordWriter* writer() const { return m_writer.get(); }
    Forwarder* forwarder() const { return m_forwarder.get(); }
    // Why records cannot be written now; empty while they can.
    const QString& recordsFailure() const { return m_recordsFailure; }
    const ForwardingState& forwarding() const { return m_forwardingState; }
    const LabelsState& labels() const { return m_labelsState; }

    // Waits for the last records to be written, then gives the server a moment only: what it has
    // not taken waits in the local database for the next start. What is still open is told
    // through notice().
    void finish();
    // 0 every unit tried finished, 1 one failed or was never confirmed.
    int exitStatus() const;
    // "stopped: 12 finished, 0 failed on 3 ports; exit status 0"
    QString summary() const;

Q_SIGNALS:
    void notice(const qt2xx::SessionNotice& notice);
    void forwardingChanged();
    void figuresChanged();
    void labelPrinted(const QString& recordId, const QString& serial, qint64 waiting);
    // Each time the printer does not take the oldest label; -1 waiting when the queue cannot be read.
    void labelWaiting(qint64 waiting, const QString& reason);
    void labelsChanged();
    void plantRulesChanged();
    // The ports started once the server agreed with the order (or, under "local", was found away),
    // after start() had returned; ports that did not open are gone from the station.
    void portsStarted();
    void plantChanged(); // the plant's progress

private:
    bool refuse(int status, const QString& text);
    bool readJob(const SessionOptions& options);
    bool openRecords(const SessionOptions& options);
    void watchRecords();
    void watchForwarding();
    bool openLabels(const SessionOptions& options, const QString& databasePath);
    void tellLabelsInDoubt(const QString& databasePath);
    void watchLabels();
    void waitForLabels();
    void watchStation(Station& station);
    void waitForRecords();
    void tell(SessionNotice::Kind kind, const QString& text, const QString& reason = QString());
    bool startPorts();
    void startLate();
    void openClaims();
    void setPlantRules(PlantRules rules, const QString& away = QString());
    void onOrderAgreed();
    void onOrderRefused(const QString& reason);

    SessionOptions m_options;
    SetFile m_set;
    QString m_setPath;
    std::vector<PortChoice> m_ports;
    std::optional<SessionRefusal> m_refusal;
    // The writer outlives the station, so the last records are still written.
    std::unique_ptr<RecordWriter> m_writer;
    std::unique_ptr<Forwarder> m_forwarder;
    std::vector<std::unique_ptr<Station>> m_retired;
    std::unique_ptr<Station> m_station;
    OrderPlan m_plan;
    std::unique_ptr<RecordStore> m_reads; // the order's progress and finished serials, on this thread
    std::unique_ptr<OrderRun> m_run;
    bool m_forwarding = false;
    QString m_recordsFailure;
    ForwardingState m_forwardingState;
    OrderTally m_tally;
    LabelSinkFactory m_labelSinks;
    QString m_orderLabel; // the order's label template, absolute; empty when it names none
    std::unique_ptr<LabelSink> m_labels;
    LabelsState m_labelsState;
    std::unique_ptr<ClaimClient> m_claims;
    PlantRules m_plantRules = PlantRules::None;
    QString m_plantAway;
    std::optional<OrderProgress> m_plantProgress;
    bool m_orderAgreed = false;
    bool m_portsStarted = false;
};

} // namespace qt2xx
