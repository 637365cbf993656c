#include "report/LabelOutput.h"

#include "report/LabelPdf.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTcpSocket>

namespace qt2xx {

namespace {

Done sendTcp(const LabelAddress& address, const QByteArray& zpl, std::chrono::milliseconds timeout) {
    QTcpSocket socket;
    const int ms = int(timeout.count());
    socket.connectToHost(address.host, address.port);
    if (!socket.waitForConnected(ms))
        return Fail(QStringLiteral("the printer %1:%2 does not answer: %3")
                        .arg(address.host)
                        .arg(address.port)
                        .arg(socket.errorString()));
    if (socket.write(zpl) != zpl.size())
        return Fail(
            QStringLiteral("the printer %1 took no label: %2").arg(address.text, socket.errorString()));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(ms))
            return Fail(QStringLiteral("the printer %1 stopped taking the label: %2")
                            .arg(address.text, socket.errorString()));
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState && !socket.waitForDisconnected(ms))
        return Fail(QStringLiteral("the printer %1 did not close the connection: %2")
                        .arg(address.text, socket.errorString()));
    return {};
}

Done appendTo(const LabelAddress& address, const QByteArray& zpl) {
    QFile file(address.path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return Fail(QStringLiteral("cannot write to %1: %2").arg(address.path, file.errorString()));
    if (file.write(zpl) != zpl.size() || !file.flush())
        return Fail(QStringLiteral("cannot write to %1: %2").arg(address.path, file.errorString()));
    return {};
}

// A folder gets a file per label named after the unit; a file that exists already is kept.
QString pdfFileFor(const LabelAddress& address, const LabelFields& fields) {
    if (address.path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return address.path;
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QString stem = fields.serial;
    stem.replace(unsafe, QStringLiteral("_"));
    if (stem.isEmpty() || stem.startsWith(u'.'))
        stem.prepend(QStringLiteral("label"));
    const QDir folder(address.path);
    QString name = folder.filePath(stem + QStringLiteral(".pdf"));
    for (int n = 2; QFile::exists(name); ++n)
        name = folder.filePath(QStringLiteral("%1-%2.pdf").arg(stem).arg(n));
    return name;
}

Done writePdf(const LabelAddress& address, const LabelFields& fields) {
    // Text needs the fonts a QGuiApplication loads (the offscreen platform will do).
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return Fail(QStringLiteral("pdf: labels need the program to run with Qt Gui"));
    const bool intoFolder = !address.path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    if (intoFolder && !QDir().mkpath(address.path))
        return Fail(QStringLiteral("cannot create the folder %1").arg(address.path));
    return WriteLabelPdf(pdfFileFor(address, fields), fields);
}

} // namespace

Done SendLabel(const LabelAddress& address, const LabelTemplate& zpl, const LabelFields& fields,
               std::chrono::milliseconds timeout) {
    switch (address.kind) {
    case LabelAddress::Kind::Tcp:
        return sendTcp(address, zpl.render(fields), timeout);
    case LabelAddress::Kind::Path:
        return appendTo(address, zpl.render(fields));
    case LabelAddress::Kind::Pdf:
        return writePdf(address, fields);
    }
    return Fail(QStringLiteral("unknown kind of label printer"));
}

} // namespace qt2xx
