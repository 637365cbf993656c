#include "files/SetFile.h"

#include "files/AsvFormat.h"

#include <QCoreApplication>
#include <QFile>

namespace qt2xx {
namespace {

SetFile unreadable(const QFile& file) {
    SetFile result;
    result.problem = QCoreApplication::translate("SetFile", "cannot be read: %1").arg(file.errorString());
    return result;
}

SetFile refused(const QString& problem) {
    SetFile result;
    result.status = SetFile::Status::Refused;
    result.problem = problem;
    return result;
}

} // namespace

SetFile ReadSetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(file);

    const AsvReadResult read = ReadAsvParameterSet(bytes);
    if (!read.set)
        return refused(read.problem.message());
    SetFile result;
    for (int i = 0; i < kParameterCount; ++i)
        result.values[i] = read.set->text(i);
    if (const auto refusal = BuildDownloadFrame(result.values, result.frame))
        return refused(refusal->message());
    result.status = SetFile::Status::Ready;
    return result;
}

} // namespace qt2xx
