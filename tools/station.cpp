// qt2xx-station: programs controllers on several serial ports at once, from a terminal or a script.
// Every port runs its own download sequencer, as the window runs its one, and sends the same frame.
#include "station/Station.h"
#include "files/SetFile.h"
#include "record/Forwarder.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "station/Devices.h"
#include "station/JsonOutput.h"
#include "station/Options.h"
#include "station/TableView.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace qt2xx;
using namespace station;

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM reach the event loop through a pipe, so the stop runs as any other event.
void catchStopSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away shows as a failed write, which stops the station as an interrupt does.
    ::signal(SIGPIPE, SIG_IGN);
}

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
    return kExitAllFinished;
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

// A failing record is told at once, on the table's last line on a terminal so the table stays in
// place; the writer keeps the records and tries again.
void watchRecords(RecordWriter& writer, TableView* table) {
    QObject::connect(
        &writer, &RecordWriter::writeFailed, &writer, [table](const QString& database, const QString& why) {
            const QString text = QStringLiteral("records cannot be written to %1: %2").arg(database, why);
            if (table)
                table->setNotice(text);
            else
                message(text);
        });
    QObject::connect(&writer, &RecordWriter::writeRecovered, &writer, [table] {
        if (table)
            table->setNotice(QString());
        else
            message(QStringLiteral("records are written again"));
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

// What the server has not taken by the end goes with the next program that forwards this database.
void finishForwarding(Forwarder& forwarder) {
    constexpr auto kForwardTime = std::chrono::seconds(5);
    forwarder.wake();
    if (forwarder.isStopped() || !forwarder.waitUntilSent(kForwardTime))
        message(QStringLiteral("records wait to be forwarded to %1 (qt2xx-records status)")
                    .arg(forwarder.server()));
}

// Finished controllers whose records are still on their way are told once they are durable.
void confirmRecords(RecordWriter& writer) {
    constexpr auto kFlushTime = std::chrono::seconds(10);
    if (!writer.flush(kFlushTime))
        message(QStringLiteral("some records could not be written to %1").arg(writer.databasePath()));
    QCoreApplication::sendPostedEvents(); // the writer's last commits
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
    return station.failed() > 0 || station.unconfirmed() > 0 ? kExitSomeFailed : kExitAllFinished;
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
        std::fputs(kUsage, stderr);
        return kExitRefused;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitAllFinished;
    }
    if (options.listPorts)
        return listPorts();

    const SetFile set = ReadSetFile(options.setFile);
    if (!set.ready()) {
        message(QStringLiteral("%1: %2").arg(options.setFile, set.problem));
        return kExitRefused;
    }
    const auto choices = choosePorts(options.ports);
    if (!choices)
        return kExitRefused;

    catchStopSignals();
    // The writer outlives the station, so the last records are still written.
    std::unique_ptr<RecordWriter> writer;
    if (options.record) {
        const QString path = options.recordPath.isEmpty() ? DefaultRecordDatabase() : options.recordPath;
        writer = std::make_unique<RecordWriter>(QFileInfo(path).absoluteFilePath());
        message(QStringLiteral("records are kept in %1").arg(writer->databasePath()));
    }
    std::unique_ptr<Forwarder> forwarder;
    if (writer && options.recordServer) {
        forwarder = std::make_unique<Forwarder>(writer->databasePath(), *options.recordServer);
        QObject::connect(writer.get(), &RecordWriter::committed, forwarder.get(), &Forwarder::wake);
        message(QStringLiteral("records are forwarded to %1").arg(forwarder->server()));
    }
    Station station(set.values, set.frame);
    station.setParameterFile(QFileInfo(options.setFile).absoluteFilePath());
    station.setRecordWriter(writer.get());
    station.setCount(options.count);
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
    if (station.start() == 0) {
        message(QStringLiteral("no port could be opened"));
        return kExitNoPort;
    }

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
    if (writer)
        watchRecords(*writer, table.get());
    if (forwarder) {
        watchForwarding(*forwarder, table.get(), json.get());
        forwarder->start();
    }

    QSocketNotifier stopSignal(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopSignal, &QSocketNotifier::activated, &station, [&station] {
        char drained[16];
        while (::read(g_signalPipe[0], drained, sizeof drained) > 0) {
        }
        station.stop();
    });
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
