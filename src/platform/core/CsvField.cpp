#include "platform/core/CsvField.h"

#include <QStringEncoder>

#include <algorithm>

namespace qt2xx {

namespace {

bool runsAsFormula(QStringView field, CsvKind kind) {
    if (kind != CsvKind::Text || field.isEmpty())
        return false;
    const QChar lead = field.front();
    return lead == u'=' || lead == u'+' || lead == u'-' || lead == u'@' || lead == u'\t' || lead == u'\r';
}

bool needsQuotes(QStringView field) {
    return std::any_of(field.cbegin(), field.cend(),
                       [](QChar c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; });
}

void appendUtf8(QByteArray& line, QStringView text) {
    const qsizetype at = line.size();
    line.resize(at + text.size() * 3);
    QStringEncoder encoder(QStringConverter::Utf8);
    char* end = encoder.appendToBuffer(line.data() + at, text);
    line.resize(end - line.constData());
}

} // namespace

QString CsvField(QStringView field, CsvKind kind) {
    const bool formula = runsAsFormula(field, kind);
    if (!formula && !needsQuotes(field))
        return field.toString();
    QString quoted = field.toString().replace(QLatin1String("\""), QLatin1String("\"\""));
    return (formula ? QStringLiteral("\"'") : QStringLiteral("\"")) + quoted + u'"';
}

void AppendCsvField(QByteArray& line, QStringView field, CsvKind kind) {
    const bool formula = runsAsFormula(field, kind);
    if (!formula && !needsQuotes(field))
        return appendUtf8(line, field);
    line += formula ? "\"'" : "\"";
    for (qsizetype from = 0; from <= field.size();) {
        const qsizetype quote = field.indexOf(u'"', from);
        const qsizetype to = quote < 0 ? field.size() : quote + 1;
        appendUtf8(line, field.sliced(from, to - from));
        if (quote < 0)
            break;
        line += '"';
        from = to;
    }
    line += '"';
}

} // namespace qt2xx
