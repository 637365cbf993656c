#pragma once

// What the record tests share: qt2xx-records run on a file, and reading its output.

#include "link/SequencerMessages.h"
#include "record/ProductionRecord.h"
#include "support/BuildPaths.h"
#include "support/SimProcess.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <utility>

namespace qt2xx::test {

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolResult RunRecordsTool(const QStringList& arguments) {
    QProcess process;
    process.start(ProgramPath(u"qt2xx-records"), arguments);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// The lines of a CSV export split at commas; for exports whose fields hold none.
inline QList<QStringList> CsvRows(const QByteArray& csv) {
    QList<QStringList> rows;
    for (const QByteArray& line : csv.split('\n'))
        if (!line.isEmpty())
            rows << QString::fromUtf8(line.chopped(line.endsWith('\r') ? 1 : 0)).split(QLatin1Char(','));
    return rows;
}

// The cells of a CSV text as a spreadsheet reads them: quoted cells may hold commas, line ends and
// doubled quotes.
inline QList<QStringList> CsvCells(const QByteArray& csv) {
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    const QString text = QString::fromUtf8(csv);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
            cell += c;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && c == u',') {
            row << std::exchange(cell, {});
        } else if (!quoted && c == u'\n') {
            rows << (row << std::exchange(cell, {}));
            row.clear();
        } else if (quoted || c != u'\r') {
            cell += c;
        }
    }
    return rows;
}

// The log's outcome lines and the result each is recorded as.
inline QHash<QString, QString> ResultOfLine() {
    QHash<QString, QString> results;
    for (Outcome outcome : {Outcome::Finished, Outcome::TransmitFailure, Outcome::StorageFailure,
                            Outcome::NoResponse, Outcome::NoStorageResponse})
        results.insert(OutcomeLogEntry(outcome).text, ResultName(outcome));
    return results;
}
inline const QHash<QString, QString> kResultOfLine = ResultOfLine();

// The outcome lines among a log's lines, in order.
inline QStringList OutcomeLines(const QStringList& log) {
    QStringList out;
    for (const QString& line : log)
        if (kResultOfLine.contains(line))
            out << line;
    return out;
}

inline const QString kCsvHeader =
    QStringLiteral("recorded_at,run_id,unit,device,result,frame,parameter_sha256,parameter_file,program,"
                   "work_order,unit_serial,operator,station,rework,offline");

} // namespace qt2xx::test
