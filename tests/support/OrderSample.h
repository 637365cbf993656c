#pragma once

// A small work order as a bench's record holds it, for the order and report tests: serials with a
// failure then a pass, a unit that never passed, a rework on another station, and a second order on
// the next day whose unit was finished again offline at another bench.

#include "record/RecordStore.h"
#include "support/RecordSample.h"
#include "support/ResultCheck.h"

#include <QProcess>
#include <QTest>
#include <QTimeZone>

namespace qt2xx::test {

inline const QDateTime kOrderStart = QDateTime(QDate(2026, 3, 2), QTime(8, 0), QTimeZone::utc());

struct OrderAttempt {
    const char* orderId;
    const char* serial;
    Outcome result;
    int minute; // after kOrderStart
    const char* station;
    const char* operatorId;
    bool rework = false;
    bool offline = false;
};

// WO-7 (quantity 5): S-1 and S-3 pass at once, S-2 fails then passes, S-4 never passes, S-1 is
// reworked on bench-b. WO-8 (quantity 1) has one unit the next day, which bench-a, going on without
// the server, finished again.
inline constexpr OrderAttempt kOrderAttempts[] = {
    {"WO-7", "S-1", Outcome::Finished, 0, "bench-a", "anna"},
    {"WO-7", "S-2", Outcome::TransmitFailure, 1, "bench-a", "anna"},
    {"WO-7", "S-3", Outcome::Finished, 70, "bench-a", "anna"},
    {"WO-7", "S-2", Outcome::Finished, 71, "bench-a", "anna"},
    {"WO-7", "S-4", Outcome::NoResponse, 72, "bench-a", "ben"},
    {"WO-7", "S-1", Outcome::Finished, 130, "bench-b", "ben", true},
    {"WO-8", "T-1", Outcome::Finished, 24 * 60, "bench-b", "ben"},
    {"WO-8", "T-1", Outcome::Finished, 24 * 60 + 5, "bench-a", "anna", false, true},
};

inline RunInfo OrderRun() {
    RunInfo run = MakeRun();
    run.startedAt = kOrderStart;
    run.host = QStringLiteral("bench-a");
    for (int i = 0; i < 26; ++i)
        run.parameters[i] = QStringLiteral("text-%1").arg(i + 1);
    return run;
}

// Writes the order's run, orders and records into store.
inline void WriteOrderSample(RecordStore& store) {
    const RunInfo run = OrderRun();
    QT2XX_VERIFY_OK(store.beginRun(run));
    for (const auto& [id, quantity] : {std::pair{"WO-7", 5}, std::pair{"WO-8", 1}})
        QT2XX_VERIFY_OK(store.noteOrder({QLatin1String(id), QStringLiteral("QT2C 48 V"),
                                         QString(64, QLatin1Char('a')), quantity, kOrderStart}));
    int unit = 0;
    for (const OrderAttempt& a : kOrderAttempts) {
        ProductionRecord r = MakeRecord(run.runId, ++unit, a.result, kOrderStart.addSecs(a.minute * 60));
        r.orderId = QLatin1String(a.orderId);
        r.unitSerial = QLatin1String(a.serial);
        r.station = QLatin1String(a.station);
        r.operatorId = QLatin1String(a.operatorId);
        r.rework = a.rework;
        r.offline = a.offline;
        QT2XX_VERIFY_OK(store.append(r));
    }
}

// The text of a PDF, pages split by form feeds.
inline QString PdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace qt2xx::test
