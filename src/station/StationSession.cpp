#include "station/StationSession.h"

#include "forward/ClaimClient.h"
#include "forward/Forwarder.h"
#include "platform/core/ExitStatus.h"
#include "record/LabelQueue.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "station/Station.h"
#include "station/WorkOrder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QSysInfo>
#include <QTimer>

namespace qt2xx {

namespace {

// Most runs end with their records written: only a longer wait is told.
constexpr auto kQuietTime = std::chrono::milliseconds(200);
constexpr auto kFlushTime = std::chrono::seconds(10);
// The server gets a moment only, so a station ends promptly whatever the server does.
constexpr auto kForwardTime = std::chrono::milliseconds(300);
// Under the plant's rules the server has just answered, and a finished unit counts in the plant only
// once its record is there: until then the server keeps its claim.
constexpr auto kClaimedForwardTime = std::chrono::seconds(3);
// The last labels get long enough for one more try at a printer that was away; what is left prints
// with the next start.
constexpr auto kLabelTime = std::chrono::seconds(3);
constexpr auto kLabelLook = std::chrono::milliseconds(50);

} // namespace

QString LabelsState::text() const {
    if (printer.isEmpty())
        return QString();
    if (waiting < 0)
        return QStringLiteral("labels: the queue cannot be read: %1").arg(reason);
    if (stopped)
        return QStringLiteral("labels: %1 waiting: printer %2 not answering").arg(waiting).arg(printer);
    if (waiting > 0)
        return QStringLiteral("labels: %1 printed, %2 waiting").arg(printed).arg(waiting);
    return QStringLiteral("labels: %1 printed").arg(printed);
}

QString PlantRulesText(PlantRules rules) {
    switch (rules) {
    case PlantRules::None:
        return QString();
    case PlantRules::Checking:
        return QStringLiteral("checking the order with the server");
    case PlantRules::Plant:
        return QStringLiteral("plant");
    case PlantRules::Stopped:
        return QStringLiteral("stopped: server away");
    case PlantRules::Local:
        return QStringLiteral("local: server away");
    }
    return QString();
}

QString PlantRulesName(PlantRules rules) {
    switch (rules) {
    case PlantRules::None:
        return QStringLiteral("none");
    case PlantRules::Checking:
        return QStringLiteral("checking");
    case PlantRules::Plant:
        return QStringLiteral("plant");
    case PlantRules::Stopped:
        return QStringLiteral("stopped");
    case PlantRules::Local:
        return QStringLiteral("local");
    }
    return QString();
}

StationSession::StationSession(QObject* parent) : QObject(parent) {}

// The station goes before the writer that keeps its records; the run releases its claims before the
// claims thread stops.
StationSession::~StationSession() {
    m_labels.reset();
    m_run.reset();
    m_claims.reset();
    m_station.reset();
    m_retired.clear();
}

bool StationSession::refuse(int status, const QString& text) {
    m_refusal = SessionRefusal{status, text};
    return false;
}

bool StationSession::open(const SessionOptions& options, const QString& deviceDirectory) {
    m_options = options;
    m_refusal.reset();
    m_labels.reset(); // a session opened again prints to the printer it is given now, if any
    m_labelsState = LabelsState{};
    if (!readJob(options))
        return false;

    m_ports.clear();
    QHash<QString, QString> seen;
    for (const QString& text : options.ports) {
        const PortChoice choice = ResolvePort(text, deviceDirectory);
        if (!choice.device.isEmpty()) {
            const QString identity = DeviceIdentity(choice.device);
            if (seen.contains(identity))
                return refuse(ExitRefused,
                              tr("%1 and %2 name the same device %3").arg(seen[identity], text, identity));
            seen.insert(identity, text);
        }
        m_ports.push_back(choice);
    }
    if (m_ports.empty())
        return refuse(ExitRefused, tr("at least one port is needed"));

    if (!options.record)
        return options.labelPrinter.isEmpty() ||
               refuse(ExitRefused, QStringLiteral("--label-printer %1: labels are printed from the records; "
                                                  "they cannot be kept off")
                                       .arg(options.labelPrinter));
    return openRecords(options) &&
           (options.labelPrinter.isEmpty() || openLabels(options, m_writer->databasePath()));
}

// The writer queues each finished record's label in the record's own transaction; the printer takes
// them from there on a thread of its own.
bool StationSession::openLabels(const SessionOptions& options, const QString& databasePath) {
    if (!m_labelSinks)
        return refuse(
            ExitRefused,
            QStringLiteral("--label-printer %1: this program prints no labels").arg(options.labelPrinter));
    const QString templatePath =
        options.labelTemplate.isEmpty() ? m_orderLabel : QFileInfo(options.labelTemplate).absoluteFilePath();
    tellLabelsInDoubt(databasePath);
    Result<std::unique_ptr<LabelSink>> sink =
        m_labelSinks(LabelRequest{options.labelPrinter, templatePath, databasePath});
    if (!sink)
        return refuse(ExitRefused, sink.error());
    m_labels = std::move(*sink);
    m_labelsState = LabelsState{};
    m_labelsState.printer = m_labels->printer();
    m_writer->setLabelPrinter(m_labelsState.printer);
    connect(m_writer.get(), &RecordWriter::committed, m_labels.get(), &LabelSink::nudge,
            Qt::DirectConnection);
    watchLabels();
    return true;
}

// A label is never sent twice by itself, so one that a program stopped while sending may or may not
// have printed: the operator is told at the next start, before the printer takes anything new.
void StationSession::tellLabelsInDoubt(const QString& databasePath) {
    const auto reads = RecordStore::open(databasePath, RecordStore::OpenMode::MustExist);
    if (!reads)
        return;
    const Result<qint64> sending = LabelQueue((*reads)->database()).count(LabelState::Sending);
    if (sending && *sending > 0)
        tell(SessionNotice::Kind::LabelsInDoubt,
             tr("%1 label(s) were being sent when a program last stopped and may not have printed: check "
                "them, and reprint a missing one with qt2xx-records label")
                 .arg(*sending));
}

// A printer that stops is told once per streak; the faces show the count as it goes.
void StationSession::watchLabels() {
    connect(m_labels.get(), &LabelSink::labelPrinted, this,
            [this](const QString& recordId, const QString& serial, qint64 waiting) {
                ++m_labelsState.printed;
                m_labelsState.waiting = waiting;
                if (m_labelsState.stopped) {
                    m_labelsState.stopped = false;
                    m_labelsState.reason.clear();
                    tell(SessionNotice::Kind::LabelsResumed,
                         QStringLiteral("labels print on %1 again").arg(m_labelsState.printer));
                }
                Q_EMIT labelPrinted(recordId, serial, waiting);
                Q_EMIT labelsChanged();
            });
    connect(m_labels.get(), &LabelSink::labelWaiting, this, [this](qint64 waiting, const QString& why) {
        const bool first = !m_labelsState.stopped;
        m_labelsState.stopped = true;
        m_labelsState.waiting = waiting;
        m_labelsState.reason = why.simplified();
        if (first)
            tell(SessionNotice::Kind::LabelsStopped,
                 QStringLiteral("labels are not printed on %1: %2; they wait in the local database")
                     .arg(m_labelsState.printer, m_labelsState.reason),
                 why);
        Q_EMIT labelWaiting(waiting, m_labelsState.reason);
        Q_EMIT labelsChanged();
    });
}

// The database is opened before any port is touched: a station that cannot record programs nothing.
bool StationSession::openRecords(const SessionOptions& options) {
    const QString path =
        QFileInfo(options.recordPath.isEmpty() ? DefaultRecordDatabase() : options.recordPath)
            .absoluteFilePath();
    if (const auto writable = RecordStore::open(path); !writable)
        return refuse(ExitRefused, tr("records cannot be kept in %1: %2; nothing was programmed "
                                      "(--no-record runs without records)")
                                       .arg(path, writable.error()));
    m_writer = std::make_unique<RecordWriter>(path);
    // The order's progress and finished serials are read on this thread through a connection of
    // their own; the writer keeps its own on its thread.
    if (!m_plan.orderId.isEmpty() || m_plan.scan) {
        auto reads = RecordStore::open(path, RecordStore::OpenMode::MustExist);
        if (!reads)
            return refuse(ExitRefused, tr("records cannot be read from %1: %2").arg(path, reads.error()));
        m_reads = std::move(*reads);
    }
    if (!m_plan.orderId.isEmpty()) {
        Result<OrderTally> tally = ReadOrderTally(m_reads->database(), m_plan.orderId);
        if (!tally)
            return refuse(ExitRefused,
                          tr("the record of order %1 cannot be read: %2").arg(m_plan.orderId, tally.error()));
        m_tally = std::move(*tally);
    }
    watchRecords();
    if (options.recordServer) {
        m_forwarder = std::make_unique<Forwarder>(path, *options.recordServer);
        connect(m_writer.get(), &RecordWriter::committed, m_forwarder.get(), &Forwarder::wake);
        watchForwarding();
    }
    return true;
}

// A failing record is told once per streak. The writer keeps the records and tries again; the
// station begins no controller meanwhile.
void StationSession::watchRecords() {
    connect(m_writer.get(), &RecordWriter::writeFailed, this, [this](const QString&, const QString& why) {
        m_recordsFailure = why;
        tell(SessionNotice::Kind::RecordsFailing,
             tr("records cannot be written to %1: %2; no controller is begun until they can")
                 .arg(m_writer->databasePath(), why),
             why);
    });
    connect(m_writer.get(), &RecordWriter::writeRecovered, this, [this] {
        m_recordsFailure.clear();
        tell(SessionNotice::Kind::RecordsResumed, tr("records are written again; the ports seek again"));
    });
}

void StationSession::watchForwarding() {
    const Forwarder* forwarder = m_forwarder.get();
    connect(forwarder, &Forwarder::stopped, this, [this](const QString& why) {
        m_forwardingState.stopped = true;
        m_forwardingState.reason = why.simplified();
        tell(SessionNotice::Kind::ForwardingStopped,
             tr("records are not forwarded to %1: %2").arg(m_forwarder->server(), m_forwardingState.reason),
             why);
        Q_EMIT forwardingChanged();
    });
    connect(forwarder, &Forwarder::resumed, this, [this] {
        m_forwardingState.stopped = false;
        tell(SessionNotice::Kind::ForwardingResumed,
             tr("records are forwarded to %1 again").arg(m_forwarder->server()));
        Q_EMIT forwardingChanged();
    });
    connect(forwarder, &Forwarder::waitingChanged, this, [this](qint64 waiting) {
        m_forwardingState.waiting = std::max<qint64>(0, waiting);
        Q_EMIT forwardingChanged();
    });
}

void StationSession::tell(SessionNotice::Kind kind, const QString& text, const QString& reason) {
    Q_EMIT notice(SessionNotice{kind, text, reason});
}

bool StationSession::readJob(const SessionOptions& options) {
    m_plan = OrderPlan{};
    m_orderLabel.clear();
    if (options.orderFile.isEmpty()) {
        m_setPath = QFileInfo(options.setFile).absoluteFilePath();
        m_set = ReadSetFile(options.setFile);
        if (!m_set.ready())
            return refuse(ExitRefused, QStringLiteral("%1: %2").arg(options.setFile, m_set.problem));
    } else {
        const WorkOrderFile file = ReadWorkOrder(options.orderFile);
        if (!file.ready())
            return refuse(ExitRefused, QStringLiteral("%1: %2").arg(options.orderFile, file.problem));
        const WorkOrder& order = file.order;
        m_set = order.set;
        m_setPath = order.setPath;
        m_plan = OrderPlan::FromOrder(order);
        m_orderLabel = order.labelPath;
    }
    m_plan.scan = m_plan.scan || options.scan;
    m_plan.rework = options.rework;
    m_plan.count = options.count;
    return true;
}

Station& StationSession::newStation() {
    if (m_station)
        m_retired.push_back(std::move(m_station));
    m_run.reset();
    m_station = std::make_unique<Station>(m_set.values, m_set.frame);
    m_station->setParameterFile(m_setPath);
    m_station->setRecordWriter(m_writer.get());
    m_station->setCount(m_options.count);
    m_station->setRecordContext(RecordContext{m_plan.orderId, m_options.operatorId, m_options.stationName});
    watchStation(*m_station);
    for (const PortChoice& choice : m_ports) {
        if (!choice.device.isEmpty())
            m_station->addPort(choice.device);
    }
    m_run = std::make_unique<OrderRun>(*m_station, m_plan, m_reads.get());
    return *m_station;
}

// A station of an earlier run still tells the units whose records were written late: they count.
void StationSession::watchStation(Station& station) {
    connect(&station, &Station::openFailed, this, [this](const QString& device, const QString& problem) {
        tell(SessionNotice::Kind::PortNotOpen, QStringLiteral("%1: %2").arg(device, problem));
    });
    connect(&station, &Station::waitingForRecords, this, [this, current = &station](int records) {
        if (m_station.get() == current)
            tell(SessionNotice::Kind::WaitingForRecords,
                 tr("the count is made up; waiting for %1 record(s) to be written").arg(records));
    });
    // Interrupted exchanges leave no record, so they are no attempt of the order's figures.
    connect(&station, &Station::event, this, [this](const PortEvent& event) {
        if (event.kind != PortEventKind::Done)
            return;
        m_tally.add(event.serial, event.finished());
        Q_EMIT figuresChanged();
    });
}

bool StationSession::running() const {
    if (m_station && m_claims && !m_portsStarted && !m_refusal && !m_station->isStopped())
        return true;
    return m_station && m_station->running();
}

bool StationSession::exchangeUnderWay() const {
    return m_station && m_station->exchangeUnderWay();
}

int StationSession::finished() const {
    int sum = m_station ? m_station->finished() : 0;
    for (const auto& station : m_retired)
        sum += station->finished();
    return sum;
}

int StationSession::failed() const {
    int sum = m_station ? m_station->failed() : 0;
    for (const auto& station : m_retired)
        sum += station->failed();
    return sum;
}

bool StationSession::start() {
    if (!m_station)
        newStation();
    for (const PortChoice& choice : m_ports) {
        if (choice.device.isEmpty())
            tell(SessionNotice::Kind::PortNotOpen, QStringLiteral("%1: %2").arg(choice.text, choice.problem));
    }
    if (m_writer)
        tell(SessionNotice::Kind::Records, tr("records are kept in %1").arg(m_writer->databasePath()));
    if (m_forwarder && !m_forwarding) {
        tell(SessionNotice::Kind::Records, tr("records are forwarded to %1").arg(m_forwarder->server()));
        m_forwarder->start();
        m_forwarding = true;
    }
    QString why;
    if (!m_run->prepare(&why))
        return refuse(ExitRefused, why);
    if (m_run->complete())
        return refuse(ExitOk, m_plan.orderId.isEmpty()
                                  ? tr("nothing to program")
                                  : tr("order %1 is complete: %2 of %3 units finished; nothing "
                                       "is programmed")
                                        .arg(m_plan.orderId)
                                        .arg(m_run->unitsDone())
                                        .arg(m_plan.quantity));
    m_portsStarted = false;
    if (m_forwarder && !m_plan.orderId.isEmpty()) {
        openClaims();
        // The ports wait for the server's word on the order; the claims thread asks it.
        if (!m_orderAgreed)
            return true;
        setPlantRules(m_plantRules, m_plantAway); // the new run's gate
    }
    return startPorts();
}

bool StationSession::startPorts() {
    if (m_station->start() == 0)
        return refuse(ExitUnreachable, tr("no port could be opened"));
    m_portsStarted = true;
    m_run->started();
    return true;
}

// One claims client for the session, whose stations come and go: it renews the claims of every run.
void StationSession::openClaims() {
    if (m_claims) {
        m_run->setClaims(m_claims.get());
        return;
    }
    const ClaimTerms terms = m_plan.terms();
    // The record names the host when no station is named, and the server ends a claim by that name.
    const QString host = QSysInfo::machineHostName();
    const ClaimHolder holder{m_options.stationName.isEmpty() ? host : m_options.stationName, host};
    m_claims = std::make_unique<ClaimClient>(*m_options.recordServer, terms, holder);
    m_run->setClaims(m_claims.get());
    connect(m_claims.get(), &ClaimClient::orderAgreed, this, &StationSession::onOrderAgreed);
    connect(m_claims.get(), &ClaimClient::orderRefused, this, &StationSession::onOrderRefused);
    connect(m_claims.get(), &ClaimClient::serverAway, this, [this](const QString& reason) {
        setPlantRules(m_plan.offline == OfflineRule::Local ? PlantRules::Local : PlantRules::Stopped, reason);
        // Under "local" an order not yet checked goes on by the bench's records; it is checked once
        // the server answers.
        if (m_plan.offline == OfflineRule::Local && !m_portsStarted && !m_refusal)
            startLate();
    });
    connect(m_claims.get(), &ClaimClient::serverBack, this, [this] {
        if (m_orderAgreed)
            setPlantRules(PlantRules::Plant);
    });
    connect(m_claims.get(), &ClaimClient::progress, this, [this](const OrderProgress& progress) {
        m_plantProgress = progress;
        Q_EMIT plantChanged();
    });
    setPlantRules(PlantRules::Checking);
    m_claims->start();
}

QString StationSession::plantLine() const {
    if (m_plantRules == PlantRules::None)
        return QString();
    QStringList parts;
    if (m_plantProgress)
        parts << QStringLiteral("plant %1").arg(PlantProgressText(*m_plantProgress, figures().unitsFinished));
    parts << QStringLiteral("rules: %1").arg(PlantRulesText(m_plantRules));
    return parts.join(QStringLiteral("; "));
}

void StationSession::setPlantRules(PlantRules rules, const QString& away) {
    if (m_run) {
        switch (rules) {
        case PlantRules::None:
        case PlantRules::Local:
            m_run->setGate(ClaimGate::Open);
            break;
        case PlantRules::Checking:
        case PlantRules::Plant:
            m_run->setGate(ClaimGate::Ask);
            break;
        case PlantRules::Stopped:
            m_run->setGate(ClaimGate::Closed,
                           tr("No unit is armed while the server is away (the order's offline "
                              "rule is \"stop\"): %1")
                               .arg(away.simplified()));
            break;
        }
    }
    const bool changed = rules != m_plantRules || away.simplified() != m_plantAway;
    m_plantRules = rules;
    m_plantAway = away.simplified();
    if (!changed)
        return;
    QString text = tr("plant rules: %1").arg(PlantRulesText(rules));
    if (!m_plantAway.isEmpty())
        text += QStringLiteral(" (%1)").arg(m_plantAway);
    tell(SessionNotice::Kind::PlantRules, text, m_plantAway);
    Q_EMIT plantRulesChanged();
}

void StationSession::onOrderAgreed() {
    m_orderAgreed = true;
    setPlantRules(PlantRules::Plant);
    if (!m_portsStarted && !m_refusal)
        startLate();
}

void StationSession::startLate() {
    if (!m_station || m_station->isStopped())
        return;
    const bool started = startPorts();
    Q_EMIT portsStarted();
    if (!started) {
        tell(SessionNotice::Kind::EndOfRun, m_refusal->text);
        m_station->stop();
    }
}

// Nothing was started, or under "local" the bench went on alone; either way it stops now.
void StationSession::onOrderRefused(const QString& reason) {
    refuse(ExitRefused, reason);
    tell(SessionNotice::Kind::OrderRefused, reason);
    if (m_station)
        m_station->stop();
}

QString StationSession::setSha256() const {
    return m_set.ready() ? ParameterSetSha256(m_set.values) : QString();
}

void StationSession::finish() {
    if (m_writer)
        waitForRecords();
    if (m_labels)
        waitForLabels();
    if (m_forwarder) {
        m_forwarder->wake();
        const std::chrono::milliseconds budget =
            m_plantRules == PlantRules::Plant ? std::chrono::milliseconds(kClaimedForwardTime) : kForwardTime;
        if (m_forwarder->isStopped() || !m_forwarder->waitUntilSent(budget))
            tell(SessionNotice::Kind::EndOfRun,
                 tr("records not yet forwarded to %1 wait in the local database and go with the "
                    "next start (qt2xx-records status)")
                     .arg(m_forwarder->server()));
    }
}

// Finished controllers whose records are still on their way are told once they are durable.
void StationSession::waitForRecords() {
    if (!m_writer->flush(kQuietTime)) {
        tell(SessionNotice::Kind::EndOfRun, tr("waiting up to %1 s for the last records to be written to %2")
                                                .arg(kFlushTime.count())
                                                .arg(m_writer->databasePath()));
        if (!m_writer->flush(kFlushTime))
            tell(SessionNotice::Kind::EndOfRun,
                 tr("some records could not be written to %1").arg(m_writer->databasePath()));
    }
    QCoreApplication::sendPostedEvents(); // the writer's last commits
}

// The labels of the last units print before the program ends when the printer takes them; what it
// does not take waits in the queue for the next start.
void StationSession::waitForLabels() {
    auto reads = RecordStore::open(m_writer->databasePath(), RecordStore::OpenMode::MustExist);
    if (!reads)
        return;
    LabelQueue queue((*reads)->database());
    auto left = [&]() -> Result<qint64> {
        const Result<qint64> waiting = queue.count(m_labelsState.printer, LabelState::Waiting);
        if (!waiting)
            return waiting;
        const Result<qint64> sending = queue.count(m_labelsState.printer, LabelState::Sending);
        if (!sending)
            return sending;
        return *waiting + *sending;
    };
    m_labels->nudge();
    QElapsedTimer clock;
    clock.start();
    Result<qint64> count = left();
    while (count && *count > 0 && clock.elapsed() < std::chrono::milliseconds(kLabelTime).count()) {
        QEventLoop pause;
        QTimer::singleShot(kLabelLook, &pause, &QEventLoop::quit);
        pause.exec();
        count = left();
    }
    if (!count)
        tell(SessionNotice::Kind::EndOfRun, QStringLiteral("the labels left for %1 cannot be counted: %2")
                                                .arg(m_labelsState.printer, count.error()));
    else if (*count > 0)
        tell(SessionNotice::Kind::EndOfRun,
             QStringLiteral("%1 label(s) wait for %2 in the local database and print with the next start")
                 .arg(*count)
                 .arg(m_labelsState.printer));
}

int StationSession::exitStatus() const {
    if (m_refusal)
        return m_refusal->status;
    if (m_station && (m_station->failed() > 0 || m_station->unconfirmed() > 0))
        return ExitFailed;
    return ExitOk;
}

QString StationSession::summary() const {
    if (!m_station)
        return QString();
    const Station& station = *m_station;
    int interrupted = 0;
    for (const auto& port : station.ports())
        interrupted += port->interrupted();
    QString line =
        QStringLiteral("stopped: %1 finished, %2 failed").arg(station.finished()).arg(station.failed());
    if (interrupted > 0)
        line += QStringLiteral(" (%1 cut short)").arg(interrupted);
    if (station.unconfirmed() > 0)
        line += QStringLiteral(", %1 finished without a confirmed record").arg(station.unconfirmed());
    return line +
           QStringLiteral(" on %1 ports; exit status %2").arg(station.ports().size()).arg(exitStatus());
}

} // namespace qt2xx
