#include "forward/ServerAddress.h"

#include <QUrl>
#include <QUrlQuery>

namespace qt2xx {

namespace {

// libpq options a URL may carry besides host, port, user and dbname. Anything else is refused
// rather than passed on unseen.
const QStringList kPassedOptions = {
    QStringLiteral("sslmode"),
    QStringLiteral("sslrootcert"),
    QStringLiteral("sslcert"),
    QStringLiteral("sslkey"),
    QStringLiteral("sslcrl"),
    QStringLiteral("connect_timeout"),
    QStringLiteral("application_name"),
    QStringLiteral("service"),
    QStringLiteral("passfile"),
    QStringLiteral("target_session_attrs"),
    QStringLiteral("keepalives"),
    QStringLiteral("keepalives_idle"),
    QStringLiteral("keepalives_interval"),
    QStringLiteral("keepalives_count"),
    QStringLiteral("gssencmode"),
    QStringLiteral("channel_binding"),
    QStringLiteral("tcp_user_timeout"),
};

// A server that stops answering must not hold the forwarding thread, or the end of the program,
// for minutes: connecting gives up after 10 s, a silent TCP connection is dropped after about 20 s.
const QStringList kDefaultOptions = {
    QStringLiteral("connect_timeout=10"),     QStringLiteral("keepalives_idle=10"),
    QStringLiteral("keepalives_interval=5"),  QStringLiteral("keepalives_count=2"),
    QStringLiteral("tcp_user_timeout=20000"),
};

const QString kPasswordAdvice =
    QStringLiteral("the server URL contains a password; leave it out and put the password in ~/.pgpass, "
                   "in the file named by PGPASSFILE, or in a service file (PGSERVICEFILE)");

// libpq's conninfo quoting; the Qt driver turns ';' into the separator, so it cannot be quoted.
std::optional<QString> quoted(const QString& value) {
    if (value.contains(u';'))
        return std::nullopt;
    QString escaped = value;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + escaped + u'\'';
}

bool hasPassword(const QUrl& url, const QUrlQuery& query) {
    const QString authority = url.authority(QUrl::FullyEncoded);
    const qsizetype at = authority.lastIndexOf(u'@');
    return (at >= 0 && authority.left(at).contains(u':')) || query.hasQueryItem(QStringLiteral("password"));
}

Done readQuery(const QUrlQuery& query, ServerAddress& address) {
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QStringLiteral("host")) {
            address.host = value;
        } else if (key == QStringLiteral("port")) {
            bool ok = false;
            address.port = value.toInt(&ok);
            if (!ok || address.port <= 0 || address.port > 65535)
                return Fail(QStringLiteral("the server URL has an invalid port"));
        } else if (key == QStringLiteral("user")) {
            address.user = value;
        } else if (key == QStringLiteral("dbname")) {
            address.database = value;
        } else if (kPassedOptions.contains(key)) {
            const auto text = quoted(value);
            if (!text)
                return Fail(QStringLiteral("the server URL parameter %1 contains ';'").arg(key));
            address.connectOptions << key + u'=' + *text;
        } else {
            return Fail(QStringLiteral("the server URL has an unknown parameter \"%1\"").arg(key));
        }
    }
    return {};
}

} // namespace

Result<ServerAddress> ServerAddress::parse(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QStringLiteral("postgresql") && url.scheme() != QStringLiteral("postgres")))
        return Fail(QStringLiteral("the server URL must read postgresql://user@host:port/dbname"));
    const QUrlQuery query(url);
    if (hasPassword(url, query))
        return Fail(kPasswordAdvice);
    ServerAddress address;
    address.host = url.host(QUrl::FullyDecoded);
    address.port = url.port(-1);
    address.user = url.userName(QUrl::FullyDecoded);
    address.database = url.path(QUrl::FullyDecoded).mid(1);
    if (Done read = readQuery(query, address); !read)
        return Fail(read.error());
    // libpq reads a database name with '=' in it as a whole connection string, password included.
    if (address.database.contains(u'=') || address.database.contains(u'/'))
        return Fail(QStringLiteral("the server URL has an invalid database name"));
    for (const QString& option : kDefaultOptions) {
        const QString key = option.left(option.indexOf(u'=') + 1);
        if (!std::any_of(address.connectOptions.cbegin(), address.connectOptions.cend(),
                         [&key](const QString& given) { return given.startsWith(key); }))
            address.connectOptions << option;
    }
    return address;
}

QString ServerAddress::display() const {
    QString text;
    if (!user.isEmpty())
        text += user + u'@';
    text += host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port > 0)
        text += u':' + QString::number(port);
    return text + u'/' + database;
}

} // namespace qt2xx
