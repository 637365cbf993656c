#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace qt2xx::test {

// Writes data at path, replacing what was there, and returns the path; a file that cannot be
// written is left for the reader under test to find missing.
inline QString WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
    return path;
}

} // namespace qt2xx::test
