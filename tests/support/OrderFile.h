#pragma once

#include "files/SetFile.h"
#include "record/RunRecorder.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace qt2xx::test {

// A work order released for the set at setPath, written beside it as order.json; an empty sha256
// releases the set's own hash.
inline QString WriteOrderFile(const QString& setPath, int quantity,
                              const QString& pattern = QStringLiteral("^QT2C-[0-9]{8}$"),
                              QString sha256 = QString(), const QString& order = QStringLiteral("WO-7")) {
    if (sha256.isEmpty())
        sha256 = ParameterSetSha256(ReadSetFile(setPath).values);
    QJsonObject json{{QStringLiteral("order"), order},
                     {QStringLiteral("product"), QStringLiteral("QT2C 48 V 350 W")},
                     {QStringLiteral("set"), setPath},
                     {QStringLiteral("set_sha256"), sha256},
                     {QStringLiteral("quantity"), quantity}};
    if (!pattern.isEmpty())
        json.insert(QStringLiteral("serial_pattern"), pattern);
    return WriteFile(QFileInfo(setPath).dir().filePath(QStringLiteral("order.json")),
                     QJsonDocument(json).toJson());
}

// "QT2C-00000001", "QT2C-00000002", ... one per line.
inline QByteArray SerialLines(int first, int count) {
    QByteArray lines;
    for (int i = first; i < first + count; ++i)
        lines += "QT2C-" + QByteArray::number(i).rightJustified(8, '0') + '\n';
    return lines;
}

} // namespace qt2xx::test
