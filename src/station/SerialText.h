#pragma once

#include "platform/core/Result.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace qt2xx {

// A serial goes onto the label, into the record and into every export: it must be text that reads
// the same everywhere. 1 to kSerialMaxLength characters (code points) of valid UTF-8, none of them a
// control, format or line-separating character, and not starting with a character a spreadsheet
// takes for the start of a formula.
inline constexpr int kSerialMaxLength = 64;

// The longest scanned line a reader keeps whole: the longest serial in four-byte characters, with
// room for the blanks around it. Longer lines are refused without being held.
inline constexpr qsizetype kScanLineMaxBytes = 512;

// A scanned line as bytes, as a terminal or a pipe delivers it: blanks around it are dropped, the
// rest must be a serial. lineBytes is the length of the whole line when only its first bytes were
// kept (more than kScanLineMaxBytes); -1 when line is all of it. Every reason is one line and shows
// the offending characters escaped, never raw.
Result<QString> SerialFromBytes(QByteArrayView line, qsizetype lineBytes = -1);
// The same for a line already decoded, such as a line edit's text.
Result<QString> SerialFromText(QStringView line);

// Text shown in one line whatever it holds: control, format and separator characters as \xHH (ASCII)
// or \uHHHH, and at most maxLength characters, then "...".
QString EscapedText(QStringView text, int maxLength = 2 * kSerialMaxLength);
// Bytes that are not UTF-8, shown in one line: printable ASCII as it is, every other byte as \xHH.
QString EscapedBytes(QByteArrayView bytes, int maxLength = 2 * kSerialMaxLength);

} // namespace qt2xx
