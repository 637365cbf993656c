// Reads generated record databases of 100,000 and 1,000,000 records with qt2xx-records (summary, and
// export as CSV) and with the sqlite3 shell running the same query, and prints the wall time of each,
// the ratio, and each one's peak memory. The median of three runs of each is printed. Then, on the
// larger one, a work order of 10,000 units (its figures, and its lot report) and the report of the
// whole month with its pages. Prints figures only; it never fails on time.
//
// usage: bench-records [FOLDER]   (the databases go into FOLDER, else a temporary folder; the month's
//                                  report stays there as month.pdf)

#include "record/RecordStore.h"
#include "support/BuildPaths.h"
#include "support/RecordGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUuid>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace qt2xx;

namespace {

constexpr int kRuns = 3;
constexpr int kDays = 30;
constexpr int kSets = 4;
// Records per work order: a failed unit is tried again under the same serial.
constexpr int kOrderRecords = 10000;

struct Figure {
    double seconds = 0;
    double peakMiB = 0;
};

// Runs the command with stdout thrown away; its wall time and peak resident memory.
Figure measure(const std::vector<QByteArray>& command) {
    std::vector<char*> argv;
    for (const QByteArray& arg : command)
        argv.push_back(const_cast<char*>(arg.constData()));
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "bench-records: %s exited with %d\n", argv[0], status);
    return {seconds, double(usage.ru_maxrss) / 1024.0};
}

Figure medianOf(const std::vector<QByteArray>& command) {
    std::vector<Figure> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(measure(command));
    std::sort(runs.begin(), runs.end(),
              [](const Figure& a, const Figure& b) { return a.seconds < b.seconds; });
    Figure median = runs[kRuns / 2];
    for (const Figure& f : runs)
        median.peakMiB = std::max(median.peakMiB, f.peakMiB);
    return median;
}

// A failed unit is mostly tried again at once under its serial.
bool generate(const QString& path, int count) {
    RunInfo run;
    run.runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.startedAt = QDateTime(QDate(2026, 1, 1), QTime(6, 0), QTimeZone::utc());
    run.device = QStringLiteral("/dev/ttyUSB0");
    run.program = QStringLiteral("qt2xx 1.0");
    run.host = QStringLiteral("bench");
    std::vector<OrderInfo> orders;
    for (int order = 0; order * kOrderRecords < count; ++order)
        orders.push_back({QStringLiteral("WO-%1").arg(order, 4, 10, QLatin1Char('0')), QStringLiteral("QT2C"),
                          QString::number(order % kSets).repeated(64), kOrderRecords, run.startedAt});
    const Result<std::unique_ptr<test::RecordGenerator>> generator =
        test::RecordGenerator::open(path, run, orders);
    if (!generator) {
        std::fprintf(stderr, "bench-records: %s\n", qPrintable(generator.error()));
        return false;
    }
    ProductionRecord r;
    r.runId = run.runId;
    r.device = run.device;
    r.program = run.program;
    r.frame = QByteArray(32, '\x5a');
    r.parameterFile = QStringLiteral("/home/bench/sets/line 3.asv");
    const int perDay = count / kDays;
    bool retry = false;
    for (int i = 0; i < count; ++i) {
        r.orderId = QStringLiteral("WO-%1").arg(i / kOrderRecords, 4, 10, QLatin1Char('0'));
        if (!retry)
            r.unitSerial = QStringLiteral("SN-%1").arg(i, 8, 10, QLatin1Char('0'));
        r.recordId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        r.recordedAt = run.startedAt.addDays(i / perDay).addMSecs(qint64(i % perDay) * 40);
        r.unit = i + 1;
        // Four stations, and an operator per shift of eight hours.
        r.station = QStringLiteral("bench-%1").arg(i % 4 + 1);
        r.operatorId = QStringLiteral("op-%1").arg(r.recordedAt.time().hour() / 8 + 1);
        r.result = i % 17 == 0   ? Outcome::NoResponse
                   : i % 29 == 0 ? Outcome::TransmitFailure
                                 : Outcome::Finished;
        // One failed unit in seven is put aside and never finished.
        retry = r.result != Outcome::Finished && i % 7 != 0;
        r.parameterSha256 = QString::number((i / kOrderRecords) % kSets).repeated(64);
        if (const Done added = (*generator)->add(r); !added) {
            std::fprintf(stderr, "bench-records: %s\n", qPrintable(added.error()));
            return false;
        }
    }
    return (*generator)->commit().ok();
}

// The pages of a PDF as QPdfWriter writes them: one "/Type /Page" object each.
int pdfPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    return int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ") +
               bytes.count("/Type /Page/"));
}

void reportAlone(const char* what, const Figure& f) {
    std::printf("%-34s qt2xx-records %6.2f s %6.1f MiB\n", what, f.seconds, f.peakMiB);
}

void report(const char* what, int count, const Figure& ours, const Figure& shell) {
    std::printf(
        "%-8s %9d records: qt2xx-records %6.2f s %6.1f MiB | sqlite3 %6.2f s %6.1f MiB | ratio %.2f\n", what,
        count, ours.seconds, ours.peakMiB, shell.seconds, shell.peakMiB, ours.seconds / shell.seconds);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir temporary;
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path());
    const QByteArray tool = qt2xx::test::ProgramPath(u"qt2xx-records").toLocal8Bit();
    const QByteArray shell = QT2XX_SQLITE3;
    using namespace record_schema;
    const QByteArray summary = QStringLiteral("SELECT substr(%1, 1, 10) AS day, %2, %3, count(*) FROM %4 "
                                              "GROUP BY day, %2, %3 ORDER BY day, %2")
                                   .arg(kRecordedAt, kParameterSha256, kResult, kRecords)
                                   .toUtf8();
    QStringList exported;
    for (const RecordColumn& column : RecordColumns())
        if (column.exported)
            exported << QLatin1String(column.name);
    const QByteArray exportSql = QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                     .arg(exported.join(QLatin1String(", ")), kRecords, kSeq)
                                     .toUtf8();
    for (const int count : {100000, 1000000}) {
        const QString path = folder.filePath(QStringLiteral("records-%1.sqlite").arg(count));
        QFile::remove(path);
        QElapsedTimer made;
        made.start();
        if (!generate(path, count))
            return 1;
        std::printf("generated %d records in %.1f s\n", count, double(made.elapsed()) / 1000.0);
        const QByteArray db = QFile::encodeName(path);
        report("summary", count, medianOf({tool, "--db", db, "summary"}), medianOf({shell, db, summary}));
        report("export", count, medianOf({tool, "--db", db, "export"}),
               medianOf({shell, "-csv", "-header", db, exportSql}));
        if (count == 1000000) {
            const QByteArray pdf = QFile::encodeName(folder.filePath(QStringLiteral("lot.pdf")));
            reportAlone("order of 10,000 units",
                        medianOf({tool, "--db", db, "order", "WO-0050", "--serials"}));
            reportAlone("lot report of 10,000 units",
                        medianOf({tool, "--db", db, "report", "--order", "WO-0050", "--output", pdf}));
            const QByteArray monthPdf = QFile::encodeName(folder.filePath(QStringLiteral("month.pdf")));
            const Figure month = measure({tool, "--db", db, "report", "--since", "2026-01-01", "--until",
                                          "2026-02-01", "--output", monthPdf});
            std::printf("%-34s qt2xx-records %6.2f s %6.1f MiB, %d pages\n", "report of a month (1,000,000)",
                        month.seconds, month.peakMiB, pdfPages(QFile::decodeName(monthPdf)));
            QFile::remove(QFile::decodeName(pdf));
        }
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
    }
    return 0;
}
