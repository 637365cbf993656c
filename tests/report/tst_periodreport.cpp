// The report of a period, drawn by the records tool from a real record database and read back as
// text: its figures and tables agree with the records, the units never finished are listed up to the
// limit and counted beyond it, it stays a few pages, and --units brings back the table of every unit.
#include "record/RecordStore.h"
#include "report/OrderReport.h"
#include "support/BuildPaths.h"
#include "support/RecordGenerator.h"
#include "support/RecordSample.h"
#include "support/ResultCheck.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

const QDateTime kSince(QDate(2026, 12, 7), QTime(6, 0), Qt::UTC);
const QDateTime kUntil(QDate(2026, 12, 7), QTime(14, 0), Qt::UTC);
const QString kSetA = QString(64, QLatin1Char('a'));
const QString kSetB = QString(64, QLatin1Char('b'));

// Order A: 40 units on set A, every fifth finished at its second attempt after a transmit failure.
// Order B: 20 units finished at once, then units never finished, with one no-response each and every
// 61st a transmit failure before it. One unit of order A finished before the period.
constexpr int kUnitsA = 40;
constexpr int kFinishedB = 20;
constexpr int kUnfinishedB = kUnfinishedListed + 5;

struct Database {
    QStringList serialsInPeriod;
    QStringList unfinishedSerials; // in the order they were tried
    QString serialBefore;
};

Database Generate(const QString& path) {
    Database out;
    RunInfo run = MakeRun();
    run.startedAt = kSince.addSecs(-3600);
    const Result<std::unique_ptr<RecordGenerator>> generator = RecordGenerator::open(
        path, run,
        {{QStringLiteral("WO-A"), QStringLiteral("QT2C hub"), kSetA, kUnitsA, run.startedAt},
         {QStringLiteral("WO-B"), QStringLiteral("QT2C cargo"), kSetB, 400, run.startedAt}});
    if (!generator)
        return out;
    int n = 0;
    bool added = true;
    const auto add = [&](const QString& order, const QString& serial, Outcome result, const QDateTime& at) {
        ProductionRecord r = MakeRecord(run.runId, ++n, result, at);
        r.orderId = order;
        r.unitSerial = serial;
        r.station = QStringLiteral("bench-%1").arg(n % 3 + 1);
        r.operatorId = QStringLiteral("L. Chen");
        r.parameterSha256 = order == QLatin1String("WO-A") ? kSetA : kSetB;
        r.parameterFile = order == QLatin1String("WO-A") ? QStringLiteral("/sets/hub.asv")
                                                         : QStringLiteral("/sets/cargo.asv");
        added = (*generator)->add(r).ok() && added;
    };
    out.serialBefore = QStringLiteral("SN-EARLY");
    add(QStringLiteral("WO-A"), out.serialBefore, Outcome::Finished, kSince.addSecs(-600));
    QDateTime at = kSince.addSecs(30);
    const auto next = [&] { return at = at.addSecs(40); };
    for (int i = 0; i < kUnitsA; ++i) {
        const QString serial = QStringLiteral("SN-A%1").arg(i, 3, 10, QLatin1Char('0'));
        if (i % 5 == 0)
            add(QStringLiteral("WO-A"), serial, Outcome::TransmitFailure, next());
        add(QStringLiteral("WO-A"), serial, Outcome::Finished, next());
        out.serialsInPeriod << serial;
    }
    for (int i = 0; i < kFinishedB + kUnfinishedB; ++i) {
        const QString serial = QStringLiteral("SN-B%1").arg(i, 3, 10, QLatin1Char('0'));
        if (i < kFinishedB) {
            add(QStringLiteral("WO-B"), serial, Outcome::Finished, next());
        } else {
            if ((i - kFinishedB) % 61 == 0)
                add(QStringLiteral("WO-B"), serial, Outcome::TransmitFailure, next());
            add(QStringLiteral("WO-B"), serial, Outcome::NoResponse, next());
            out.unfinishedSerials << serial;
        }
        out.serialsInPeriod << serial;
    }
    if (!added || !(*generator)->commit())
        return {};
    return out;
}

struct Report {
    int exitCode = -1;
    QStringList pages;
    QString all;
};

Report RunReport(const QString& db, const QString& pdf, const QStringList& more = {}) {
    QProcess tool;
    tool.start(ProgramPath(u"qt2xx-records"),
               QStringList{QStringLiteral("--db"), db, QStringLiteral("report"), QStringLiteral("--since"),
                           kSince.toString(Qt::ISODate), QStringLiteral("--until"),
                           kUntil.toString(Qt::ISODate), QStringLiteral("--output"), pdf} +
                   more);
    Report out;
    if (!tool.waitForFinished(120000))
        return out;
    out.exitCode = tool.exitCode();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!text.waitForFinished(60000))
        return out;
    out.pages = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!out.pages.isEmpty() && out.pages.back().trimmed().isEmpty())
        out.pages.removeLast();
    out.all = out.pages.join(QLatin1Char('\n'));
    return out;
}

// The line holding `part`, with its runs of spaces made one, so that columns read as words.
QString LineWith(const QString& text, const QString& part) {
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.contains(part))
            return line.simplified();
    return {};
}

} // namespace

class PeriodReportTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void periodReportShowsFiguresTablesAndUnfinishedUnits() {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("records.sqlite"));
        const Database data = Generate(db);
        QCOMPARE(data.unfinishedSerials.size(), kUnfinishedB);

        const Report report = RunReport(db, dir.filePath(QStringLiteral("period.pdf")));
        QCOMPARE(report.exitCode, 0);
        QVERIFY2(report.pages.size() >= 2 && report.pages.size() <= 10,
                 qPrintable(QString::number(report.pages.size())));

        // The period's figures: 365 units tried, 60 finished, 8 + 310 attempts failed, and 32 + 20
        // units finished at their first attempt. The unit before the period counts nowhere.
        const QString& first = report.pages.front();
        QVERIFY(first.contains(QLatin1String("Period report")));
        QCOMPARE(LineWith(first, QStringLiteral("Units finished")), QStringLiteral("Units finished 60"));
        QCOMPARE(LineWith(first, QStringLiteral("Attempts failed")), QStringLiteral("Attempts failed 318"));
        QCOMPARE(LineWith(first, QStringLiteral("First-pass yield")),
                 QStringLiteral("First-pass yield 14.2%"));
        QVERIFY(
            LineWith(first, QStringLiteral("Stations")).contains(QLatin1String("bench-1, bench-2, bench-3")));
        QVERIFY(LineWith(first, QStringLiteral("Work orders")).contains(QLatin1String("WO-A, WO-B")));
        QVERIFY(first.contains(QLatin1String("per hour")));
        QVERIFY(LineWith(first, QStringLiteral("no-response")).contains(QString::number(kUnfinishedB)));
        QVERIFY(LineWith(first, QStringLiteral("transmit-failure")).contains(QLatin1String("13")));
        QVERIFY(!report.all.contains(data.serialBefore));

        // Per order and set: units tried, finished, attempts failed, first-pass yield.
        QCOMPARE(LineWith(report.all, QStringLiteral("hub.asv")),
                 QStringLiteral("WO-A hub.asv aaaaaaaaaaaa 40 40 8 80.0%"));
        QCOMPARE(LineWith(report.all, QStringLiteral("cargo.asv")),
                 QStringLiteral("WO-B cargo.asv bbbbbbbbbbbb 325 20 310 6.2%"));
        // Per station its attempts: every record of the period, once.
        int stationAttempts = 0;
        for (const char* station : {"bench-1 ", "bench-2 ", "bench-3 "}) {
            const QStringList cells =
                LineWith(report.all.section(QStringLiteral("Stations"), 2), QLatin1String(station))
                    .split(QLatin1Char(' '));
            QCOMPARE(cells.size(), 5);
            stationAttempts += cells[1].toInt();
        }
        QCOMPARE(stationAttempts, kUnitsA + kUnitsA / 5 + kFinishedB + kUnfinishedB + 5);
        QVERIFY(report.all.contains(QLatin1String("Per hour")));
        const QString hours = report.all.section(QStringLiteral("Per hour"), 1);
        QVERIFY(LineWith(hours, QStringLiteral("2026-12-07 06:00"))
                    .startsWith(QLatin1String("2026-12-07 06:00 ")));
        QVERIFY(!report.all.contains(QLatin1String("2026-12-07 05:00")));

        // The units never finished: the first ones listed with their last result, the rest counted
        // with the command that lists them.
        QVERIFY(report.all.contains(QStringLiteral("Units never finished (%1)").arg(kUnfinishedB)));
        for (int i = 0; i < kUnfinishedB; ++i) {
            const QString line = LineWith(report.all, data.unfinishedSerials[i]);
            if (i < kUnfinishedListed)
                QVERIFY2(line.startsWith(QLatin1String("WO-B ")) &&
                             line.contains(QLatin1String("no-response")),
                         qPrintable(data.unfinishedSerials[i] + QStringLiteral(": ") + line));
            else
                QVERIFY2(line.isEmpty(), qPrintable(line));
        }
        QVERIFY(LineWith(report.all, data.unfinishedSerials[0]).contains(QLatin1String(" 2 ")));
        QVERIFY(!report.all.contains(QLatin1String("SN-A0")));
        QVERIFY(!report.all.contains(QLatin1String("Units (")));
        const QString more = report.all.section(QStringLiteral("and 5 more: "), 1).simplified();
        QVERIFY2(
            more.startsWith(QLatin1String("qt2xx-records report --since 2026-12-07T06:00:00.000Z --until "
                                          "2026-12-07T14:00:00.000Z --units")),
            qPrintable(more));

        // Asked for, every unit of the period comes back in a table after the same pages.
        const Report units =
            RunReport(db, dir.filePath(QStringLiteral("units.pdf")), {QStringLiteral("--units")});
        QCOMPARE(units.exitCode, 0);
        QVERIFY(units.pages.size() > report.pages.size());
        QVERIFY(units.all.contains(QStringLiteral("Units (%1)").arg(data.serialsInPeriod.size())));
        const QString table = units.all.section(QStringLiteral("Units ("), 1);
        for (const QString& serial : data.serialsInPeriod)
            QVERIFY2(!LineWith(table, serial).isEmpty(), qPrintable(serial));
        QVERIFY(LineWith(table, QStringLiteral("SN-A000")).contains(QLatin1String("finished 2 ")));
        QVERIFY(!units.all.contains(data.serialBefore));
    }
};

QTEST_MAIN(PeriodReportTest)
#include "tst_periodreport.moc"
