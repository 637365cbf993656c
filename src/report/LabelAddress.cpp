#include "report/LabelAddress.h"

#include <QRegularExpression>
#include <QUrl>

namespace qt2xx {

namespace {

const QString kTcpScheme = QStringLiteral("tcp://");
const QString kPdfScheme = QStringLiteral("pdf:");

Result<LabelAddress> parseTcp(const QString& text) {
    // Checked first, so that no refusal repeats a password.
    if (text.contains(u'@'))
        return Fail(
            QStringLiteral("a label printer's address takes no user or password (tcp://HOST[:PORT])"));
    // QUrl refuses a port that is not a number from 0 to 65535.
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() == 0)
        return Fail(QStringLiteral("\"%1\" is no printer's host and port (tcp://HOST[:PORT])").arg(text));
    if ((!url.path().isEmpty() && url.path() != u"/") || url.hasQuery() || url.hasFragment())
        return Fail(QStringLiteral("\"%1\" has more than a host and a port (tcp://HOST[:PORT])").arg(text));
    return LabelAddress{
        LabelAddress::Kind::Tcp, url.host(), quint16(url.port(LabelAddress::kRawPort)), {}, text};
}

} // namespace

Result<LabelAddress> ParseLabelAddress(const QString& text) {
    if (text.trimmed().isEmpty())
        return Fail(QStringLiteral("no label printer given"));
    if (text.startsWith(kTcpScheme, Qt::CaseInsensitive))
        return parseTcp(text);
    if (text.startsWith(kPdfScheme, Qt::CaseInsensitive)) {
        const QString path = text.mid(kPdfScheme.size());
        if (path.isEmpty())
            return Fail(QStringLiteral("\"%1\" names no file or folder (pdf:PATH)").arg(text));
        return LabelAddress{LabelAddress::Kind::Pdf, {}, 0, path, text};
    }
    // A scheme that is none of ours would otherwise become a file of that name in the current folder.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(text).hasMatch())
        return Fail(QStringLiteral("\"%1\" is no label printer: give tcp://HOST[:PORT], a device or file "
                                   "path, or pdf:PATH")
                        .arg(text));
    return LabelAddress{LabelAddress::Kind::Path, {}, 0, text, text};
}

} // namespace qt2xx
