// The lot report drawn as a PDF and read back as text: every unit, the figures, the set and the
// page footers are there, and a report that cannot be written leaves nothing behind.
#include "params/ParameterTable.h"
#include "record/ProductionRecord.h"
#include "report/LotReportPdf.h"
#include "support/ResultCheck.h"

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace qt2xx;

namespace {

const QDateTime kStart(QDate(2026, 12, 7), QTime(6, 0), Qt::UTC);

LotFigures Lot(const QString& order, const QString& setFile, bool lastChoices) {
    LotFigures lot;
    lot.orderId = order;
    lot.product = QStringLiteral("QT2C hub");
    lot.setFile = setFile;
    lot.quantity = 120;
    lot.unitsFinished = 110;
    lot.attemptsFailed = 14;
    lot.firstPassYield = 110.0 / 120;
    lot.first = kStart;
    lot.last = kStart.addSecs(3 * 3600);
    lot.stations = QStringList{QStringLiteral("bench-1"), QStringLiteral("bench-2")};
    lot.operators = QStringList{QStringLiteral("L. Chen")};
    for (const ParameterDef& def : ParameterTable())
        lot.parameters << (lastChoices ? def.choices.last() : def.choices.first()).trimmed();
    lot.parameterSha256 = QString(QLatin1Char(lastChoices ? 'e' : 'a')).repeated(60) + QStringLiteral("0123");
    lot.finishedPerHour = {{kStart, 40}, {kStart.addSecs(7200), 70}};
    return lot;
}

LotReport Order(int units) {
    LotReport report;
    report.total = Lot(QStringLiteral("WO-7"), QStringLiteral("hub.asv"), true);
    report.total.failuresByKind = {{ResultName(Outcome::TransmitFailure), 9},
                                   {ResultName(Outcome::NoResponse), 5}};
    for (int i = 1; i <= units; ++i) {
        // Every 25th unit was not scanned and is shown by its number.
        const QString serial =
            i % 25 == 0 ? QString() : QStringLiteral("SN-%1").arg(i, 4, 10, QLatin1Char('0'));
        const Outcome result = i % 10 == 3 ? Outcome::TransmitFailure : Outcome::Finished;
        report.units.push_back({serial, i, QStringLiteral("WO-7"), ResultName(result), 1 + i % 3,
                                kStart.addSecs(i * 60), QStringLiteral("bench-1"),
                                QStringLiteral("/dev/ttyUSB0"), QStringLiteral("L. Chen")});
    }
    return report;
}

// The text of each page, as a person reading the file would find it.
QStringList PdfPages(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The footer of a page: its label and "n / N", whose spaces the text extraction may drop.
QString FooterOf(const QString& page, int n, int pages) {
    for (const QString& line : page.split(QLatin1Char('\n')))
        if (QString(line).remove(QLatin1Char(' ')).endsWith(QStringLiteral("%1/%2").arg(n).arg(pages)))
            return line;
    return {};
}

QString LineWith(const QString& text, const QString& part) {
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.contains(part))
            return line;
    return {};
}

void CheckParameterSet(const QString& text, const LotFigures& lot) {
    QVERIFY2(text.contains(lot.parameterSha256), qPrintable(lot.parameterSha256));
    for (int i = 0; i < kParameterCount; ++i) {
        QVERIFY2(text.contains(ParameterTable()[i].displayName()),
                 qPrintable(ParameterTable()[i].displayName()));
        QVERIFY2(text.contains(lot.parameters[i]), qPrintable(lot.parameters[i]));
    }
}

} // namespace

class LotReportTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void orderReportListsEveryUnitOnNumberedPages() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lot.pdf"));
        const LotReport report = Order(120);
        QT2XX_VERIFY_OK(WriteLotReportPdf(report, path));
        const QStringList pages = PdfPages(path);
        QVERIFY2(pages.size() >= 3, "the units fill more than one page after the summary");

        const QString& summary = pages.front();
        for (const char* text :
             {"WO-7", "QT2C hub", "hub.asv", "91.7%", "bench-1, bench-2", "L. Chen",
              "2026-12-07 06:00 UTC to 2026-12-07 09:00 UTC", "transmit-failure", "no-response"})
            QVERIFY2(summary.contains(QLatin1String(text)), text);
        CheckParameterSet(summary, report.total);

        const QString units = pages.mid(1).join(QLatin1Char('\n'));
        for (const LotUnit& unit : report.units) {
            const QString shown =
                unit.serial.isEmpty() ? QStringLiteral("unit %1").arg(unit.unit) : unit.serial;
            const QString line = LineWith(units, shown);
            QVERIFY2(line.contains(unit.result), qPrintable(shown + QStringLiteral(": ") + line));
            QVERIFY2(line.contains(unit.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                     qPrintable(line));
        }
        for (int n = 1; n <= pages.size(); ++n) {
            const QString footer = FooterOf(pages[n - 1], n, int(pages.size()));
            QVERIFY2(footer.contains(QLatin1String("Work order WO-7")), qPrintable(QString::number(n)));
            if (n > 1) {
                const QString header = LineWith(pages[n - 1], QStringLiteral("Serial"));
                for (const char* column :
                     {"Result", "Attempts", "Time (UTC)", "Station", "Device", "Operator"})
                    QVERIFY2(header.contains(QLatin1String(column)), qPrintable(header));
            }
        }
    }

    void periodReportWithUnitsShowsEachOrderAndSet() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shift.pdf"));
        LotReport report = Order(30);
        report.kind = LotReport::Kind::Period;
        report.periodStart = kStart;
        report.periodEnd = kStart.addSecs(8 * 3600);
        report.total.failuresByKind.clear();
        report.total.parameters.clear();
        report.groups = {{QStringLiteral("WO-7"), QStringLiteral("hub.asv"), QString(64, QLatin1Char('e')),
                          QString(), 20, 18, 4, 15, 0.75},
                         {QStringLiteral("WO-8"), QStringLiteral("cargo.asv"), QString(64, QLatin1Char('a')),
                          QString(), 10, 10, 0, 10, 1}};
        report.stations = {{QString(), QString(), QString(), QStringLiteral("bench-1"), 0, 28, 4, 0, 0, 32}};
        report.trend = {{kStart, 12, 1}, {kStart.addSecs(7200), 16, 3}};
        for (int i = 0; i < 10; ++i)
            report.units[i].orderId = QStringLiteral("WO-8");
        QT2XX_VERIFY_OK(WriteLotReportPdf(report, path));
        const QStringList pages = PdfPages(path);
        const QString all = pages.join(QLatin1Char('\n'));
        for (const char* text :
             {"Period report", "WO-7, WO-8", "No attempt failed.", "Units never finished (0)"})
            QVERIFY2(all.contains(QLatin1String(text)), text);
        QCOMPARE(LineWith(all, QStringLiteral("hub.asv")).simplified(),
                 QStringLiteral("WO-7 hub.asv eeeeeeeeeeee 20 18 4 75.0%"));
        QCOMPARE(LineWith(all, QStringLiteral("cargo.asv")).simplified(),
                 QStringLiteral("WO-8 cargo.asv aaaaaaaaaaaa 10 10 0 100.0%"));
        QCOMPARE(LineWith(all.section(QStringLiteral("Stations"), 2), QStringLiteral("bench-1")).simplified(),
                 QStringLiteral("bench-1 32 28 4 87.5%"));
        // The hour between the two with records shows as an empty row.
        const QString hours = all.section(QStringLiteral("Per hour"), 1);
        QCOMPARE(LineWith(hours, QStringLiteral("2026-12-07 07:00")).simplified(),
                 QStringLiteral("2026-12-07 07:00 0 0"));
        QCOMPARE(LineWith(hours, QStringLiteral("2026-12-07 08:00")).simplified(),
                 QStringLiteral("2026-12-07 08:00 16 3"));
        QVERIFY(LineWith(all, QStringLiteral("SN-0001")).contains(QLatin1String("WO-8")));
        QVERIFY(LineWith(all, QStringLiteral("SN-0011")).contains(QLatin1String("WO-7")));
        for (int n = 1; n <= pages.size(); ++n)
            QVERIFY(FooterOf(pages[n - 1], n, int(pages.size()))
                        .startsWith(QLatin1String("Period 2026-12-07 06:00 UTC to 2026-12-07 14:00 UTC")));
    }

    void failedWriteLeavesWhatWasThere() {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("no-such-folder/lot.pdf"));
        const Done written = WriteLotReportPdf(Order(5), missing);
        QVERIFY(!written);
        QVERIFY2(written.error().startsWith(missing + QStringLiteral(": ")), qPrintable(written.error()));
        QVERIFY(!QFile::exists(missing));

        // A disk that fills up half way through: the file there before stays as it was.
        const QString existing = dir.filePath(QStringLiteral("lot.pdf"));
        QFile old(existing);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("the report filed last week") > 0);
        old.close();
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Done cutShort = WriteLotReportPdf(Order(120), existing);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!cutShort);
        QVERIFY2(cutShort.error().startsWith(existing + QStringLiteral(": ")), qPrintable(cutShort.error()));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the report filed last week"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("lot.pdf")});
    }
};

QTEST_MAIN(LotReportTest)
#include "tst_lotreport.moc"
