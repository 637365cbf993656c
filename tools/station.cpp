// qt2xx-station: programs controllers on several serial ports at once, from a terminal or a script.
// Every port runs its own download sequencer, as the window runs its one, and sends the same frame.
#include "station/Station.h"
#include "files/SetFile.h"
#include "forward/Forwarder.h"
#include "platform/core/ExitStatus.h"
#include "platform/core/StopSignals.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "station/Devices.h"
#include "station/JsonOutput.h"
#include "station/Options.h"
#include "station/OrderRun.h"
#include "station/ScanInput.h"
#include "station/TableView.h"
#include "station/WorkOrder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

using namespace qt2xx;
using namespace station;

void message(const QString& text) {
    std::fprintf(stderr, "qt2xx-station: %s\n", qPrintable(text));
}

int listPorts() {
    for (const SerialDevice& d : ListSerialDevices()) {
        std::printf("%s\n", qPrintable(d.device));
        std::printf("  port number: %s\n", d.number > 0 ? qPrintable(QString::number(d.number)) : "none");
        for (const QString& link : d.byId)
            std::printf("  by-id:       %s\n", qPrintable(link));
        for (const QString& link : d.byPath)
            std::printf("  by-path:     %s\n", qPrintable(link));
        if (!d.description.isEmpty())
            std::printf("  description: %s\n", qPrintable(d.description));
        if (!d.usbId.isEmpty())
            std::printf("  usb:         %s\n", qPrintable(d.usbId));
        if (!d.serialNumber.isEmpty())
            std::printf("  serial:      %s\n", qPrintable(d.serialNumber));
    }
    return ExitOk;
}

// The ports named on the command line, each device once; nullopt when one names a device twice.
std::optional<QList<PortChoice>> choosePorts(const QStringList& texts) {
    QList<PortChoice> choices;
    QHash<QString, QString> seen;
    for (const QString& text : texts) {
        const PortChoice choice = ResolvePort(text);
        if (!choice.device.isEmpty()) {
            const QString identity = DeviceIdentity(choice.device);
            if (seen.contains(identity)) {
                message(
                    QStringLiteral("%1 and %2 name the same device %3").arg(seen[identity], text, identity));
                return std::nullopt;
            }
            seen.insert(identity, text);
        }
        choices << choice;
    }
    return choices;
}

// A failing record is told once per streak: on the table's last line on a terminal, so the table stays
// in place, and on stderr unless that is the same terminal. The writer keeps the records and tries again; the
// station begins no controller meanwhile.
void watchRecords(Station& station, RecordWriter& writer, TableView* table, JsonOutput* json) {
    QObject::connect(&station, &Station::recordsFailed, &station, [&writer, table, json](const QString& why) {
        const QString text =
            QStringLiteral("records cannot be written to %1: %2; no controller is begun until they can")
                .arg(writer.databasePath(), why);
        if (table)
            table->setNotice(text);
        if (!table || !::isatty(STDERR_FILENO))
            message(text);
        if (json)
            json->records(true, why);
    });
    QObject::connect(&station, &Station::recordsResumed, &station, [table, json] {
        if (table)
            table->setNotice(QString());
        if (!table || !::isatty(STDERR_FILENO))
            message(QStringLiteral("records are written again; the ports seek again"));
        if (json)
            json->records(false);
    });
    QObject::connect(&station, &Station::waitingForRecords, &station, [table](int records) {
        const QString text =
            QStringLiteral("the count is made up; waiting for %1 record(s) to be written").arg(records);
        if (table)
            table->setNotice(text);
        else
            message(text);
    });
}

// Forwarding to the record server: its state at the end of the totals line on a terminal, else one
// JSON event when it stops and one when it goes on.
void watchForwarding(Forwarder& forwarder, TableView* table, JsonOutput* json) {
    const auto show = [&forwarder, table](const QString& reason) {
        const qint64 waiting = std::max<qint64>(0, forwarder.waiting());
        if (forwarder.isStopped())
            table->setForwarding(QStringLiteral("server stopped (%1 waiting): %2").arg(waiting).arg(reason));
        else
            table->setForwarding(QStringLiteral("server %1 waiting").arg(waiting));
    };
    auto reason = std::make_shared<QString>();
    QObject::connect(&forwarder, &Forwarder::stopped, &forwarder,
                     [&forwarder, table, json, reason, show](const QString& why) {
                         *reason = why.simplified();
                         if (table)
                             show(*reason);
                         else
                             json->forwarding(true, forwarder.server(), why);
                     });
    QObject::connect(&forwarder, &Forwarder::resumed, &forwarder, [&forwarder, table, json, reason, show] {
        if (table)
            show(*reason);
        else
            json->forwarding(false, forwarder.server());
    });
    if (table)
        QObject::connect(&forwarder, &Forwarder::waitingChanged, &forwarder,
                         [reason, show] { show(*reason); });
}

// What the server has not taken by the end waits in the local database: the next program that
// forwards this database sends it. The wait is short, so the station ends promptly whatever the server
// does.
void finishForwarding(Forwarder& forwarder) {
    constexpr auto kForwardTime = std::chrono::milliseconds(300);
    forwarder.wake();
    if (forwarder.isStopped() || !forwarder.waitUntilSent(kForwardTime))
        message(QStringLiteral("records not yet forwarded to %1 wait in the local database and go with "
                               "the next start (qt2xx-records status)")
                    .arg(forwarder.server()));
}

// Finished controllers whose records are still on their way are told once they are durable.
void confirmRecords(RecordWriter& writer) {
    constexpr auto kQuietTime = std::chrono::milliseconds(200);
    constexpr auto kFlushTime = std::chrono::seconds(10);
    if (writer.flush(kQuietTime))
        return QCoreApplication::sendPostedEvents(); // the writer's last commits
    message(QStringLiteral("waiting up to %1 s for the last records to be written to %2")
                .arg(kFlushTime.count())
                .arg(writer.databasePath()));
    if (!writer.flush(kFlushTime))
        message(QStringLiteral("some records could not be written to %1").arg(writer.databasePath()));
    QCoreApplication::sendPostedEvents(); // the writer's last commits
}

// The database is opened before any port is touched: a station that cannot record programs nothing.
std::optional<QString> openRecords(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (const auto store = RecordStore::open(absolute); !store) {
        message(QStringLiteral("records cannot be kept in %1: %2; nothing was programmed "
                               "(--no-record runs without records)")
                    .arg(absolute, store.error()));
        return std::nullopt;
    }
    return absolute;
}

// The last line on a terminal, under the final table.
QString summaryLine(const Station& station, int status) {
    int interrupted = 0;
    for (const auto& port : station.ports())
        interrupted += port->interrupted();
    QString line =
        QStringLiteral("stopped: %1 finished, %2 failed").arg(station.finished()).arg(station.failed());
    if (interrupted > 0)
        line += QStringLiteral(" (%1 cut short)").arg(interrupted);
    if (station.unconfirmed() > 0)
        line += QStringLiteral(", %1 finished without a confirmed record").arg(station.unconfirmed());
    return line + QStringLiteral(" on %1 ports; exit status %2").arg(station.ports().size()).arg(status);
}

int exitStatus(const Station& station) {
    return station.failed() > 0 || station.unconfirmed() > 0 ? ExitFailed : ExitOk;
}

// The set to program: the file named, or the one the order names once its hash is the one released.
struct Job {
    SetFile set;
    QString setPath;
    OrderPlan plan;
};

std::optional<Job> readJob(const Options& options) {
    Job job;
    job.plan.scan = options.scan;
    job.plan.rework = options.rework;
    job.plan.count = options.count;
    if (options.orderFile.isEmpty()) {
        job.set = ReadSetFile(options.setFile);
        job.setPath = QFileInfo(options.setFile).absoluteFilePath();
        if (job.set.ready())
            return job;
        message(QStringLiteral("%1: %2").arg(options.setFile, job.set.problem));
        return std::nullopt;
    }
    WorkOrderFile file = ReadWorkOrder(options.orderFile);
    if (!file.ready()) {
        message(QStringLiteral("%1: %2").arg(options.orderFile, file.problem));
        return std::nullopt;
    }
    const WorkOrder& order = file.order;
    job.set = order.set;
    job.setPath = order.setPath;
    job.plan.order = order.order;
    job.plan.product = order.product;
    job.plan.setSha256 = order.setSha256;
    job.plan.quantity = order.quantity;
    job.plan.serialPattern = order.serialPattern;
    job.plan.scan = options.scan || order.wantsSerials();
    return job;
}

// The order's progress and its finished serials are read on this thread through a connection of
// their own; the writer keeps its own on its thread.
std::unique_ptr<RecordStore> openReads(const RecordWriter* writer, const OrderPlan& plan) {
    if (!writer || (plan.order.isEmpty() && !plan.scan))
        return nullptr;
    auto store = RecordStore::open(writer->databasePath(), RecordStore::OpenMode::MustExist);
    if (!store) {
        message(
            QStringLiteral("records cannot be read from %1: %2").arg(writer->databasePath(), store.error()));
        return nullptr;
    }
    return std::move(*store);
}

bool colourWanted() {
    return qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != "dumb";
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    if (!ParseOptions(app.arguments().mid(1), options, error)) {
        message(error);
        std::fputs(qPrintable(Usage()), stderr);
        return ExitRefused;
    }
    if (options.help) {
        std::fputs(qPrintable(Usage()), stdout);
        return ExitOk;
    }
    if (options.listPorts)
        return listPorts();

    const std::optional<Job> job = readJob(options);
    if (!job)
        return ExitRefused;
    const SetFile& set = job->set;
    const auto choices = choosePorts(options.ports);
    if (!choices)
        return ExitRefused;
    StopSignals stopSignals(StopSignals::BrokenPipe::Ignore);
    // The writer outlives the station, so the last records are still written.
    std::unique_ptr<RecordWriter> writer;
    if (const std::optional<QString> path = options.record.recordDatabase(RecordDefault::On)) {
        const std::optional<QString> database = openRecords(*path);
        if (!database)
            return ExitRefused;
        writer = std::make_unique<RecordWriter>(*database);
        message(QStringLiteral("records are kept in %1").arg(writer->databasePath()));
    }
    std::unique_ptr<Forwarder> forwarder;
    if (writer && options.record.server) {
        forwarder = std::make_unique<Forwarder>(writer->databasePath(), *options.record.server);
        QObject::connect(writer.get(), &RecordWriter::committed, forwarder.get(), &Forwarder::wake);
        message(QStringLiteral("records are forwarded to %1").arg(forwarder->server()));
    }

    const std::unique_ptr<RecordStore> reads = openReads(writer.get(), job->plan);
    if (writer && !reads && (!job->plan.order.isEmpty() || job->plan.scan))
        return ExitRefused;

    Station station(set.values, set.frame);
    station.setParameterFile(job->setPath);
    station.setRecordWriter(writer.get());
    station.setRecordContext(
        RecordContext{job->plan.order, options.record.operatorId, options.record.stationName});
    for (const PortChoice& choice : *choices) {
        if (choice.device.isEmpty())
            message(QStringLiteral("%1: %2").arg(choice.text, choice.problem));
        else
            station.addPort(choice.device);
    }
    QObject::connect(&station, &Station::openFailed, &station,
                     [](const QString& device, const QString& problem) {
                         message(QStringLiteral("%1: %2").arg(device, problem));
                     });
    OrderRun run(station, job->plan, reads.get());
    if (!run.prepare(&error)) {
        message(error);
        return ExitRefused;
    }
    if (run.complete()) {
        message(job->plan.order.isEmpty()
                    ? QStringLiteral("nothing to program")
                    : QStringLiteral("order %1 is complete: %2 of %3 units finished; nothing is programmed")
                          .arg(job->plan.order)
                          .arg(run.unitsDone())
                          .arg(job->plan.quantity));
        return ExitOk;
    }
    if (station.start() == 0) {
        message(QStringLiteral("no port could be opened"));
        return ExitUnreachable;
    }
    run.started();

    const bool terminal = ::isatty(STDOUT_FILENO) && !options.json;
    std::unique_ptr<JsonOutput> json;
    std::unique_ptr<TableView> table;
    if (terminal)
        table = std::make_unique<TableView>(station, stdout, colourWanted());
    else
        json = std::make_unique<JsonOutput>(station, stdout);
    if (json) {
        json->onBroken = [&station] {
            message(QStringLiteral("stdout cannot be written; stopping"));
            QTimer::singleShot(0, &station, &Station::stop);
        };
    }
    if (table && (!job->plan.order.isEmpty() || run.scanning()))
        table->setOrderRun(&run);
    std::unique_ptr<ScanInput> scans;
    if (run.scanning()) {
        scans = std::make_unique<ScanInput>(run, STDIN_FILENO);
        scans->onRefused = [&table, &json](const ScanArbiter::Scan& scan) {
            if (table)
                table->setScanNote(scan.reason);
            if (!table || !::isatty(STDERR_FILENO))
                message(scan.reason);
            if (json)
                json->scanRefused(scan.serial, scan.reason);
        };
        QObject::connect(&run, &OrderRun::armed, &run,
                         [&table, &json](int, const QString& device, const QString& serial) {
                             if (table)
                                 table->setScanNote(QString());
                             if (json)
                                 json->armed(device, serial);
                         });
    }
    if (writer)
        watchRecords(station, *writer, table.get(), json.get());
    if (forwarder) {
        watchForwarding(*forwarder, table.get(), json.get());
        forwarder->start();
    }

    QObject::connect(&stopSignals, &StopSignals::stopRequested, &station, &Station::stop);
    QObject::connect(&station, &Station::stopped, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    app.exec();
    if (writer)
        confirmRecords(*writer);
    if (forwarder)
        finishForwarding(*forwarder);

    const int status = exitStatus(station);
    if (table)
        table->finish(summaryLine(station, status));
    else
        json->summary(status);
    return status;
}
