#include "station/StationSession.h"

#include "forward/Forwarder.h"
#include "platform/core/ExitStatus.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "station/Station.h"
#include "station/WorkOrder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>

namespace qt2xx {

namespace {

constexpr auto kFlushTime = std::chrono::seconds(10);
constexpr auto kForwardTime = std::chrono::seconds(5);

} // namespace

StationSession::StationSession(QObject* parent) : QObject(parent) {}

// The station goes before the writer that keeps its records.
StationSession::~StationSession() {
    m_run.reset();
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
    if (!readJob(options))
        return false;

    m_ports.clear();
    QHash<QString, QString> seen;
    for (const QString& text : options.ports) {
        const PortChoice choice = ResolvePort(text, deviceDirectory);
        if (!choice.device.isEmpty()) {
            const QString identity = DeviceIdentity(choice.device);
            if (seen.contains(identity))
                return refuse(
                    ExitRefused,
                    QStringLiteral("%1 and %2 name the same device %3").arg(seen[identity], text, identity));
            seen.insert(identity, text);
        }
        m_ports.push_back(choice);
    }
    if (m_ports.empty())
        return refuse(ExitRefused, QStringLiteral("at least one port is needed"));

    if (!options.record)
        return true;
    // A database that cannot be written is refused before a controller is touched: nothing is
    // programmed that cannot be recorded.
    const QString path =
        QFileInfo(options.recordPath.isEmpty() ? DefaultRecordDatabase() : options.recordPath)
            .absoluteFilePath();
    if (const auto writable = RecordStore::open(path); !writable)
        return refuse(ExitRefused,
                      QStringLiteral("records cannot be written to %1: %2").arg(path, writable.error()));
    m_writer = std::make_unique<RecordWriter>(path);
    if (!m_plan.order.isEmpty() || m_plan.scan) {
        auto reads = RecordStore::open(path, RecordStore::OpenMode::MustExist);
        if (!reads)
            return refuse(ExitRefused,
                          QStringLiteral("records cannot be read from %1: %2").arg(path, reads.error()));
        m_reads = std::move(*reads);
    }
    if (options.recordServer) {
        m_forwarder = std::make_unique<Forwarder>(path, *options.recordServer);
        connect(m_writer.get(), &RecordWriter::committed, m_forwarder.get(), &Forwarder::wake);
    }
    return true;
}

bool StationSession::readJob(const SessionOptions& options) {
    m_plan = OrderPlan{};
    m_plan.scan = options.scan;
    m_plan.rework = options.rework;
    m_plan.count = options.count;
    if (options.orderFile.isEmpty()) {
        m_setPath = QFileInfo(options.setFile).absoluteFilePath();
        m_set = ReadSetFile(options.setFile);
        if (!m_set.ready())
            return refuse(ExitRefused, QStringLiteral("%1: %2").arg(options.setFile, m_set.problem));
        return true;
    }
    const WorkOrderFile file = ReadWorkOrder(options.orderFile);
    if (!file.ready())
        return refuse(ExitRefused, QStringLiteral("%1: %2").arg(options.orderFile, file.problem));
    const WorkOrder& order = file.order;
    m_set = order.set;
    m_setPath = order.setPath;
    m_plan.order = order.order;
    m_plan.product = order.product;
    m_plan.setSha256 = order.setSha256;
    m_plan.quantity = order.quantity;
    m_plan.serialPattern = order.serialPattern;
    m_plan.scan = options.scan || order.wantsSerials();
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
    m_station->setRecordContext(RecordContext{m_plan.order, m_options.operatorId, m_options.stationName});
    connect(m_station.get(), &Station::openFailed, this,
            [this](const QString& device, const QString& problem) {
                Q_EMIT notice(QStringLiteral("%1: %2").arg(device, problem));
            });
    for (const PortChoice& choice : m_ports) {
        if (!choice.device.isEmpty())
            m_station->addPort(choice.device);
    }
    m_run = std::make_unique<OrderRun>(*m_station, m_plan, m_reads.get());
    return *m_station;
}

bool StationSession::start() {
    if (!m_station)
        newStation();
    for (const PortChoice& choice : m_ports) {
        if (choice.device.isEmpty())
            Q_EMIT notice(QStringLiteral("%1: %2").arg(choice.text, choice.problem));
    }
    if (m_writer)
        Q_EMIT notice(QStringLiteral("records are kept in %1").arg(m_writer->databasePath()));
    if (m_forwarder && !m_forwarding) {
        Q_EMIT notice(QStringLiteral("records are forwarded to %1").arg(m_forwarder->server()));
        m_forwarder->start();
        m_forwarding = true;
    }
    QString why;
    if (!m_run->prepare(&why))
        return refuse(ExitRefused, why);
    if (m_run->complete())
        return refuse(ExitOk, QStringLiteral("order %1 is complete: %2 of %3 units finished; nothing is "
                                             "programmed")
                                  .arg(m_plan.order)
                                  .arg(m_run->unitsDone())
                                  .arg(m_plan.quantity));
    if (m_station->start() == 0)
        return refuse(ExitUnreachable, QStringLiteral("no port could be opened"));
    m_run->started();
    return true;
}

QString StationSession::setSha256() const {
    return m_set.ready() ? ParameterSetSha256(m_set.values) : QString();
}

void StationSession::finish() {
    if (m_writer) {
        if (!m_writer->flush(kFlushTime))
            Q_EMIT notice(
                QStringLiteral("some records could not be written to %1").arg(m_writer->databasePath()));
        QCoreApplication::sendPostedEvents(); // the writer's last commits
    }
    if (m_forwarder) {
        m_forwarder->wake();
        if (m_forwarder->isStopped() || !m_forwarder->waitUntilSent(kForwardTime))
            Q_EMIT notice(QStringLiteral("records wait to be forwarded to %1 (qt2xx-records status)")
                              .arg(m_forwarder->server()));
    }
}

int StationSession::exitStatus() const {
    if (m_refusal)
        return m_refusal->status;
    if (m_station && (m_station->failed() > 0 || m_station->unconfirmed() > 0))
        return ExitFailed;
    return ExitOk;
}

} // namespace qt2xx
