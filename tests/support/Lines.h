#pragma once

#include <QByteArray>
#include <QList>

namespace qt2xx::test {

// The lines of a parameter file, each followed by the line end STORE writes unless told otherwise.
inline QByteArray JoinLines(const QList<QByteArray>& lines, const QByteArray& end = "\r\n") {
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + end;
    return out;
}

} // namespace qt2xx::test
