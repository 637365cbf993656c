// Draws the lot report of one work order of many units and prints the wall time, the pages, the size
// of the file and the peak memory of the process. With a file name the report is kept there (the
// sample page in docs/ is drawn this way); otherwise it goes to a temporary folder. Prints figures
// only; it never fails on time.
//
// usage: bench-lotreport [UNITS] [FILE.pdf]

#include "params/ParameterTable.h"
#include "report/LotReportPdf.h"

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace qt2xx;

namespace {

constexpr int kDefaultUnits = 10000;
const QStringList kStations{QStringLiteral("bench-1"), QStringLiteral("bench-2"), QStringLiteral("bench-3")};
const QStringList kOperators{QStringLiteral("A. Moreau"), QStringLiteral("L. Chen"),
                             QStringLiteral("P. Okafor")};
const QStringList kFailures{QStringLiteral("transmit-failure"), QStringLiteral("no-response"),
                            QStringLiteral("storage-failure")};

// An order whose units are finished about one a minute on three stations, one in twenty at a second
// attempt.
LotReport SampleOrder(int units) {
    LotReport report;
    LotFigures& lot = report.total;
    lot.orderId = QStringLiteral("WO-2026-0412");
    lot.product = QStringLiteral("QT2C 48 V hub controller");
    lot.setFile = QStringLiteral("qt2c-48v-hub.asv");
    lot.quantity = units;
    lot.stations = kStations;
    lot.operators = kOperators;
    for (const ParameterDef& def : ParameterTable())
        lot.parameters << def.choices.at(def.choices.size() / 3);
    lot.parameterSha256 = QStringLiteral("9f2c4e0b7d1a3f6e8c5b2a9d0e7f4c1b3a6d9e2f5c8b1a4d7e0f3c6b9a2d5e8f");
    const QDateTime start(QDate(2026, 12, 7), QTime(6, 0), Qt::UTC);
    QList<int> failures(kFailures.size());
    for (int i = 0; i < units; ++i) {
        const bool retried = i % 20 == 7;
        const int kind = (i / 20) % 7 == 0 ? 1 : (i / 20) % 9 == 0 ? 2 : 0;
        if (retried)
            ++failures[kind];
        const QDateTime time = start.addSecs(qint64(i) * 20 + (i % 13) * 3);
        report.units.push_back({QStringLiteral("SN%1").arg(240000 + i, 7, 10, QLatin1Char('0')), i + 1,
                                lot.orderId, QStringLiteral("finished"), retried ? 2 : 1, time,
                                kStations[i % 3], QStringLiteral("/dev/ttyUSB%1").arg(i % 3),
                                kOperators[i % 3]});
        const QDateTime hour(time.date(), QTime(time.time().hour(), 0), Qt::UTC);
        if (lot.finishedPerHour.isEmpty() || lot.finishedPerHour.back().hour != hour)
            lot.finishedPerHour.push_back({hour, 0});
        ++lot.finishedPerHour.back().count;
    }
    for (int k = 0; k < kFailures.size(); ++k)
        if (failures[k] > 0)
            lot.failuresByKind.push_back({kFailures[k], failures[k]});
    lot.unitsFinished = units;
    for (int n : failures)
        lot.attemptsFailed += n;
    lot.firstPassYield = units ? double(units - lot.attemptsFailed) / units : 0;
    if (units) {
        lot.first = report.units.front().time;
        lot.last = report.units.back().time;
    }
    return report;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int units = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : kDefaultUnits;
    QTemporaryDir dir;
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("lot.pdf"));

    QElapsedTimer clock;
    clock.start();
    const LotReport report = SampleOrder(units);
    const qint64 prepared = clock.elapsed();
    if (const Done written = WriteLotReportPdf(report, path); !written) {
        std::fprintf(stderr, "bench-lotreport: %s\n", qPrintable(written.error()));
        return 1;
    }
    const qint64 total = clock.elapsed();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "lot report of %d units: %lld ms (%lld ms preparing the data), %.1f KiB, peak memory %.1f MiB\n",
        units, static_cast<long long>(total), static_cast<long long>(prepared),
        double(QFileInfo(path).size()) / 1024, double(usage.ru_maxrss) / 1024);
    return 0;
}
