#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace qt2xx {

// What a CSV column holds. A number is written as it is; text that a spreadsheet would take for a
// formula is neutralised.
enum class CsvKind { Text, Number };

// One field of a CSV line. A field is quoted when it holds a comma, a double quote or a line end, and
// quotes inside are doubled. Text starting with "=", "+", "-", "@", a tab or a carriage return, which
// a spreadsheet runs as a formula when the file is opened, is written quoted with a "'" before it, as
// spreadsheets themselves write text that looks like a formula.
QString CsvField(QStringView field, CsvKind kind = CsvKind::Text);
// The same appended to a line as UTF-8, without a buffer of its own.
void AppendCsvField(QByteArray& line, QStringView field, CsvKind kind = CsvKind::Text);

} // namespace qt2xx
