#pragma once

// Records and runs for the record tests, each field holding a value no other field holds, so that a
// field read from the wrong column shows.

#include "record/ProductionRecord.h"

#include <QDateTime>
#include <QStringList>
#include <QUuid>

namespace qt2xx::test {

inline ProductionRecord MakeRecord(const QString& runId, int unit, Outcome result = Outcome::Finished,
                                   const QDateTime& at = QDateTime::currentDateTimeUtc()) {
    ProductionRecord r;
    r.recordId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.recordedAt = at;
    r.runId = runId;
    r.unit = unit;
    r.device = QStringLiteral("/dev/ttyUSB0");
    r.result = result;
    r.frame = QByteArray(32, '\x0f');
    r.parameterSha256 = QString(64, QLatin1Char('a'));
    r.parameterFile = QStringLiteral("/sets/line 3.asv");
    r.program = QStringLiteral("qt2xx 1.0");
    return r;
}

inline RunInfo MakeRun(const QString& device = QStringLiteral("/dev/ttyUSB0")) {
    RunInfo run;
    run.runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.startedAt = QDateTime::currentDateTimeUtc();
    run.device = device;
    run.program = QStringLiteral("qt2xx 1.0");
    run.host = QStringLiteral("bench-7");
    run.parameters = QStringList(26, QStringLiteral("0"));
    return run;
}

} // namespace qt2xx::test
