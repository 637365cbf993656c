#include "forward/Forwarder.h"
#include "record/RecordOptions.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr char kUsage[] =
    "usage: qt2xx [--record[=PATH] [--record-server=URL] [--operator ID] [--station NAME]] [--help]\n";

void printHelp() {
    std::fputs(kUsage, stdout);
    std::printf("Programs motor controllers over a serial line.\n\n"
                "%s%s"
                "  --help           show this help and exit\n\n"
                "Without --record the program writes no file of its own.\n"
                "Exit status: 0 the window was closed; 2 the arguments were refused.\n",
                qPrintable(qt2xx::RecordOptionsHelp(qt2xx::RecordDefault::Off)),
                qPrintable(qt2xx::ContextOptionsHelp()));
}

struct Options {
    qt2xx::RecordOptions record;
    bool help = false;
};

// Reads the arguments; empty when one is refused.
std::optional<Options> parseArguments(int argc, char* argv[]) {
    Options options;
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    for (int i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        QString error;
        qt2xx::OptionRead read = qt2xx::ReadRecordOption(arg, options.record, &error);
        if (read == qt2xx::OptionRead::NotMine)
            read = qt2xx::ReadContextOption(arguments, i, options.record, &error);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (read == qt2xx::OptionRead::Refused) {
            std::fprintf(stderr, "qt2xx: %s\n", qPrintable(error));
            return std::nullopt;
        } else if (read == qt2xx::OptionRead::NotMine || options.record.noRecord) {
            std::fprintf(stderr, "qt2xx: unknown argument %s\n%s", qPrintable(arg), kUsage);
            return std::nullopt;
        }
    }
    QString error;
    if (!qt2xx::CheckRecordOptions(options.record, qt2xx::RecordDefault::Off, &error)) {
        std::fprintf(stderr, "qt2xx: %s\n%s", qPrintable(error), kUsage);
        return std::nullopt;
    }
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
