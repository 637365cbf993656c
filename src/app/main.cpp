#include "forward/Forwarder.h"
#include "platform/core/ExitStatus.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "station/ProductionOptions.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr char kUsage[] =
    "usage: qt2xx [--record[=PATH] [--record-server=URL] [--operator ID] [--station NAME]] [--help]\n";

constexpr unsigned kShared = qt2xx::ProductionOption::Record | qt2xx::ProductionOption::Context;

void printHelp() {
    std::fputs(kUsage, stdout);
    std::printf(
        "Programs motor controllers over a serial line.\n\n"
        "%s\n"
        "Without --record the program writes no file of its own.\n"
        "%s",
        qPrintable(qt2xx::OptionsHelp(qt2xx::ProductionOptionSpecs(kShared, qt2xx::RecordDefault::Off))),
        qPrintable(qt2xx::ExitStatusHelp(
            {{qt2xx::ExitOk, "the window was closed"}, {qt2xx::ExitRefused, "the arguments were refused"}})));
}

struct Options {
    qt2xx::ProductionOptions record;
    bool help = false;
};

// Reads the arguments; empty when one is refused.
std::optional<Options> parseArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    qt2xx::CommandLine line(qt2xx::ProductionOptionSpecs(kShared, qt2xx::RecordDefault::Off));
    if (const qt2xx::Done parsed = line.parse(arguments); !parsed) {
        std::fprintf(stderr, "qt2xx: %s\n%s", qPrintable(parsed.error()), kUsage);
        return std::nullopt;
    }
    if (!line.positional().isEmpty()) {
        std::fprintf(stderr, "qt2xx: unknown argument %s\n%s", qPrintable(line.positional().constFirst()),
                     kUsage);
        return std::nullopt;
    }
    Options options;
    options.help = line.helpAsked();
    qt2xx::Result<qt2xx::ProductionOptions> record =
        qt2xx::ReadProductionOptions(line, qt2xx::RecordDefault::Off);
    if (!record) {
        std::fprintf(stderr, "qt2xx: %s\n%s", qPrintable(record.error()), kUsage);
        return std::nullopt;
    }
    options.record = std::move(*record);
    return options;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::optional<Options> options = parseArguments(argc, argv);
    if (!options)
        return 2;
    if (options->help) {
        printHelp();
        return 0;
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("qt2xx"));
    // The writer outlives the window, so the window's last records are still written.
    std::unique_ptr<qt2xx::RecordWriter> writer;
    if (const std::optional<QString> database = options->record.recordDatabase(qt2xx::RecordDefault::Off)) {
        writer = std::make_unique<qt2xx::RecordWriter>(QFileInfo(*database).absoluteFilePath());
        std::fprintf(stderr, "qt2xx: records are kept in %s\n", qPrintable(writer->databasePath()));
    }
    std::unique_ptr<qt2xx::Forwarder> forwarder;
    if (options->record.server) {
        forwarder = std::make_unique<qt2xx::Forwarder>(writer->databasePath(), *options->record.server);
        QObject::connect(writer.get(), &qt2xx::RecordWriter::committed, forwarder.get(),
                         &qt2xx::Forwarder::wake);
        std::fprintf(stderr, "qt2xx: records are forwarded to %s\n", qPrintable(forwarder->server()));
    }
    // Closing the window ends the program; the window then goes, and the port with it.
    qt2xx::frmMain window;
    if (writer)
        window.attachRecorder(*writer, options->record.operatorId, options->record.stationName);
    if (forwarder) {
        window.attachForwarder(*forwarder);
        forwarder->start();
    }
    window.show();
    return app.exec();
}
