#include "record/Forwarder.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr char kUsage[] = "usage: qt2xx [--record[=PATH] [--record-server=URL]] [--help]\n";
constexpr char kRecordOption[] = "--record";
constexpr char kServerOption[] = "--record-server=";

void printHelp() {
    std::fputs(kUsage, stdout);
    std::printf("Programs motor controllers over a serial line.\n\n"
                "  --record        keep every controller's outcome in %s\n"
                "  --record=PATH   keep every controller's outcome in the SQLite database PATH\n"
                "  --record-server=URL\n"
                "                  also forward every record to the PostgreSQL server at URL\n"
                "                  (postgresql://user@host:port/dbname?sslmode=require); the password\n"
                "                  comes from ~/.pgpass, PGPASSFILE or a service file, never from URL\n"
                "  --help          show this help and exit\n\n"
                "Without --record the program writes no file of its own.\n"
                "Exit status: 0 the window was closed; 2 the arguments were refused.\n",
                qPrintable(QDir::toNativeSeparators(qt2xx::DefaultRecordDatabase())));
}

struct Options {
    std::optional<QString> database; // records on when set
    std::optional<qt2xx::ServerAddress> server;
    bool help = false;
};

// Reads the arguments; empty when one is refused.
std::optional<Options> parseArguments(int argc, char* argv[]) {
    Options options;
    const size_t prefix = std::strlen(kRecordOption);
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, kRecordOption) == 0) {
            options.database = qt2xx::DefaultRecordDatabase();
        } else if (std::strncmp(arg, kServerOption, std::strlen(kServerOption)) == 0) {
            // The refusal never repeats the URL: it may hold a password.
            QString error;
            options.server =
                qt2xx::ServerAddress::parse(QString::fromLocal8Bit(arg + std::strlen(kServerOption)), &error);
            if (!options.server) {
                std::fprintf(stderr, "qt2xx: %s\n", qPrintable(error));
                return std::nullopt;
            }
        } else if (std::strncmp(arg, kRecordOption, prefix) == 0 && arg[prefix] == '=' && arg[prefix + 1]) {
            options.database = QString::fromLocal8Bit(arg + prefix + 1);
        } else {
            std::fprintf(stderr, "qt2xx: unknown argument %s\n%s", arg, kUsage);
            return std::nullopt;
        }
    }
    if (options.server && !options.database) {
        std::fprintf(stderr, "qt2xx: --record-server needs --record\n%s", kUsage);
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
    if (options->database) {
        writer = std::make_unique<qt2xx::RecordWriter>(QFileInfo(*options->database).absoluteFilePath());
        std::fprintf(stderr, "qt2xx: records are kept in %s\n", qPrintable(writer->databasePath()));
    }
    std::unique_ptr<qt2xx::Forwarder> forwarder;
    if (options->server) {
        forwarder = std::make_unique<qt2xx::Forwarder>(writer->databasePath(), *options->server);
        QObject::connect(writer.get(), &qt2xx::RecordWriter::committed, forwarder.get(),
                         &qt2xx::Forwarder::wake);
        std::fprintf(stderr, "qt2xx: records are forwarded to %s\n", qPrintable(forwarder->server()));
    }
    // Closing the window ends the program; the window then goes, and the port with it.
    qt2xx::frmMain window;
    if (writer)
        window.attachRecorder(*writer);
    if (forwarder) {
        window.attachForwarder(*forwarder);
        forwarder->start();
    }
    window.show();
    return app.exec();
}
