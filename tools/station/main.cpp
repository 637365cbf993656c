// qt2xx-station: programs controllers on several serial ports at once, from a terminal or a script.
// Every port runs its own download sequencer, as the window runs its one, and sends the same frame.
#include "forward/Forwarder.h"
#include "platform/core/ExitStatus.h"
#include "platform/core/StopSignals.h"
#include "report/LabelSinks.h"
#include "station/Devices.h"
#include "station/FixtureDriver.h"
#include "station/FixtureFile.h"
#include "station/JsonOutput.h"
#include "station/Options.h"
#include "station/ScanInput.h"
#include "station/Station.h"
#include "station/StationSession.h"
#include "station/TableView.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

using namespace qt2xx;
using namespace qt2xx::station;

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

SessionOptions sessionOptions(const Options& options) {
    SessionOptions session;
    session.setFile = options.setFile;
    session.ports = options.ports;
    options.production.applyTo(session, RecordDefault::On);
    return session;
}

// pdf: labels are drawn with Qt Gui, which needs its application; the station opens no window, so
// the offscreen platform serves. Everything else runs on the core application alone.
bool drawsPdfLabels(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--label-printer=pdf:") ||
            (arg == "--label-printer" && i + 1 < argc && QByteArray(argv[i + 1]).startsWith("pdf:")))
            return true;
    }
    return false;
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char* argv[]) {
    if (!drawsPdfLabels(argc, argv))
        return std::make_unique<QCoreApplication>(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

bool colourWanted() {
    return qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != "dumb";
}

// The faces of a running station on a terminal: the live table, or one JSON object per event, and
// the serials read from stdin.
struct Faces {
    std::unique_ptr<TableView> table;
    std::unique_ptr<JsonOutput> json;
    std::unique_ptr<ScanInput> scans;
    FixtureDriver* fixture = nullptr;
};

// The table's notice line holds what the operator must see at once; stderr tells it too unless it is
// the table's own terminal.
void showNotice(const SessionNotice& notice, const StationSession& session, const Faces& faces) {
    TableView* table = faces.table.get();
    JsonOutput* json = faces.json.get();
    const bool beside = !table || !::isatty(STDERR_FILENO);
    switch (notice.kind) {
    case SessionNotice::Kind::RecordsFailing:
    case SessionNotice::Kind::RecordsResumed: {
        const bool failing = notice.kind == SessionNotice::Kind::RecordsFailing;
        if (table)
            table->setNotice(failing ? notice.text : QString());
        if (beside)
            message(notice.text);
        if (json)
            json->records(failing, notice.reason);
        return;
    }
    case SessionNotice::Kind::WaitingForRecords:
        return table ? table->setNotice(notice.text) : message(notice.text);
    case SessionNotice::Kind::ForwardingStopped:
    case SessionNotice::Kind::ForwardingResumed:
        if (json)
            json->forwarding(notice.kind == SessionNotice::Kind::ForwardingStopped,
                             session.forwarder()->server(), notice.reason);
        return;
    case SessionNotice::Kind::LabelsStopped:
    case SessionNotice::Kind::LabelsResumed:
        // The totals line keeps the count; the reason takes the notice line unless the records,
        // which matter more, hold it.
        if (table && session.recordsFailure().isEmpty())
            table->setNotice(notice.kind == SessionNotice::Kind::LabelsStopped ? notice.text : QString());
        if (beside)
            message(notice.text);
        return;
    case SessionNotice::Kind::PlantRules:
        if (json)
            json->plantRules(PlantRulesName(session.plantRules()), notice.reason);
        if (beside)
            message(notice.text);
        return;
    case SessionNotice::Kind::OrderRefused:
    case SessionNotice::Kind::LabelsInDoubt:
    case SessionNotice::Kind::PortNotOpen:
    case SessionNotice::Kind::Records:
    case SessionNotice::Kind::EndOfRun:
        return message(notice.text);
    }
}

// Forwarding to the record server: its state at the end of the totals line on a terminal.
QString forwardingText(const ForwardingState& state) {
    if (state.stopped)
        return QStringLiteral("server stopped (%1 waiting): %2").arg(state.waiting).arg(state.reason);
    return QStringLiteral("server %1 waiting").arg(state.waiting);
}

void showScans(OrderRun& run, Faces& faces) {
    faces.scans = std::make_unique<ScanInput>(run, STDIN_FILENO);
    const auto refused = [&faces](const QString& serial, const QString& reason) {
        if (faces.fixture)
            faces.fixture->scanRefused();
        if (faces.table)
            faces.table->setScanNote(reason);
        if (!faces.table || !::isatty(STDERR_FILENO))
            message(reason);
        if (faces.json)
            faces.json->scanRefused(serial, reason);
    };
    faces.scans->onRefused = [refused](const ScanArbiter::Scan& scan) { refused(scan.serial, scan.reason); };
    QObject::connect(&run, &OrderRun::scanRefused, &run, refused);
    QObject::connect(&run, &OrderRun::armed, &run,
                     [&faces](int, const QString& device, const QString& serial) {
                         if (faces.table)
                             faces.table->setScanNote(QString());
                         if (faces.json)
                             faces.json->armed(device, serial);
                     });
    QObject::connect(&run, &OrderRun::scanDropped, &run,
                     [&faces](int slot, const QString& device, const QString& serial) {
                         const QString text = ScanArbiter::droppedText(serial, slot);
                         if (faces.table)
                             faces.table->setScanNote(text);
                         if (!faces.table || !::isatty(STDERR_FILENO))
                             message(text);
                         if (faces.json)
                             faces.json->scanDropped(slot, device, serial, text);
                     });
}

void showRun(StationSession& session, bool json, Faces& faces) {
    Station& station = *session.station();
    if (::isatty(STDOUT_FILENO) && !json) {
        faces.table = std::make_unique<TableView>(station, stdout, colourWanted());
        if (!session.plan().orderId.isEmpty() || session.run()->scanning())
            faces.table->setOrderRun(session.run());
        const auto plant = [&session, table = faces.table.get()] { table->setPlant(session.plantLine()); };
        QObject::connect(&session, &StationSession::plantChanged, faces.table.get(), plant);
        QObject::connect(&session, &StationSession::plantRulesChanged, faces.table.get(), plant);
        QObject::connect(&session, &StationSession::figuresChanged, faces.table.get(), plant);
        plant();
        if (session.forwarder())
            QObject::connect(&session, &StationSession::forwardingChanged, faces.table.get(),
                             [&session, table = faces.table.get()] {
                                 table->setForwarding(forwardingText(session.forwarding()));
                             });
        if (!session.labels().printer.isEmpty()) {
            faces.table->setLabels(session.labels().text());
            QObject::connect(
                &session, &StationSession::labelsChanged, faces.table.get(),
                [&session, table = faces.table.get()] { table->setLabels(session.labels().text()); });
        }
    } else {
        faces.json = std::make_unique<JsonOutput>(station, stdout);
        JsonOutput* out = faces.json.get();
        QObject::connect(&session, &StationSession::labelPrinted, &session,
                         [out](const QString& recordId, const QString& serial, qint64 waiting) {
                             out->labelPrinted(serial, recordId, waiting);
                         });
        QObject::connect(
            &session, &StationSession::labelWaiting, &session,
            [out](qint64 waiting, const QString& reason) { out->labelWaiting(waiting, reason); });
        faces.json->onBroken = [&station] {
            message(QStringLiteral("stdout cannot be written; stopping"));
            QTimer::singleShot(0, &station, &Station::stop);
        };
    }
    if (session.run()->scanning())
        showScans(*session.run(), faces);
}

// The module's absence on its own line of the table, and as events in JSON.
void showFixture(FixtureDriver& driver, const Faces& faces) {
    TableView* table = faces.table.get();
    JsonOutput* json = faces.json.get();
    QObject::connect(&driver, &FixtureDriver::moduleAway, &driver, [table, json](const QString& reason) {
        if (table)
            table->setFixture(reason);
        else
            message(reason);
        if (json)
            json->fixture(true, reason);
    });
    QObject::connect(&driver, &FixtureDriver::moduleBack, &driver, [table, json] {
        if (table)
            table->setFixture(QString());
        if (json)
            json->fixture(false);
    });
}

// Read before the session opens, so that a mistake in it touches no port.
bool readFixture(const Options& options, std::optional<Fixture>& fixture) {
    if (options.production.fixtureFile.isEmpty())
        return true;
    Result<Fixture> read = ReadFixtureFile(options.production.fixtureFile, int(options.ports.size()));
    if (!read) {
        message(QStringLiteral("%1: %2").arg(options.production.fixtureFile, read.error()));
        return false;
    }
    fixture = std::move(*read);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    Options options;
    QString error;
    if (!ParseOptions(QCoreApplication::arguments().mid(1), options, error)) {
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

    std::optional<Fixture> fixture;
    if (!readFixture(options, fixture))
        return ExitRefused;

    StopSignals stopSignals(StopSignals::BrokenPipe::Ignore);
    StationSession session;
    session.setLabelSinks(LabelPrinterSinks());
    std::unique_ptr<FixtureDriver> driver; // after the session, whose station it reads
    Faces faces;                           // after the session, so they go before the station they show
    QObject::connect(&session, &StationSession::notice, &session,
                     [&session, &faces](const SessionNotice& notice) { showNotice(notice, session, faces); });
    if (!session.open(sessionOptions(options))) {
        message(session.refusal()->text);
        return session.refusal()->status;
    }
    if (fixture)
        driver = std::make_unique<FixtureDriver>(session, std::move(*fixture));
    faces.fixture = driver.get();
    if (!session.start()) {
        message(session.refusal()->text);
        if (driver)
            driver->finish();
        return session.refusal()->status;
    }
    showRun(session, options.json, faces);
    if (driver) {
        showFixture(*driver, faces);
        driver->start();
    }
    QObject::connect(&stopSignals, &StopSignals::stopRequested, session.station(), &Station::stop);
    QObject::connect(session.station(), &Station::stopped, app.get(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QCoreApplication::exec();
    session.finish();
    // However the station stopped (its count, its order, the end of the scans, a stop signal), the
    // fixture is left safe before the program ends, within the link's bound if the module is away.
    if (driver)
        driver->finish();

    const int status = session.exitStatus();
    if (faces.table)
        faces.table->finish(session.summary());
    else
        faces.json->summary(status);
    return status;
}
