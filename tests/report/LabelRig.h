#pragma once

// What the label tests share: ZPL read back as its commands and its fields' decoded text, and a
// printer on a local socket that keeps every label it receives.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace qt2xx::test {

struct ZplCommand {
    QByteArray name; // "^FD", "~JA": the prefix and two letters
    QByteArray data; // what follows up to the next prefix
};

// How a printer reads ZPL with the standard prefixes: each ^ or ~ starts a command.
inline QList<ZplCommand> ZplCommands(const QByteArray& zpl) {
    QList<ZplCommand> out;
    for (qsizetype i = 0; i < zpl.size();) {
        qsizetype next = i + 1;
        while (next < zpl.size() && zpl[next] != '^' && zpl[next] != '~')
            ++next;
        if (zpl[i] == '^' || zpl[i] == '~')
            out.push_back({zpl.mid(i, 3).toUpper(), zpl.mid(i + 3, next - i - 3)});
        i = next;
    }
    return out;
}

inline QList<QByteArray> CommandNames(const QByteArray& zpl) {
    QList<QByteArray> names;
    for (const ZplCommand& command : ZplCommands(zpl))
        names << command.name;
    return names;
}

// The text of each ^FD or ^FV field as the printer prints it, with ^FH escapes decoded.
inline QStringList FieldTexts(const QByteArray& zpl) {
    QStringList out;
    char indicator = 0;
    for (const ZplCommand& command : ZplCommands(zpl)) {
        if (command.name == "^FH")
            indicator = command.data.isEmpty() ? '_' : command.data[0];
        else if (command.name == "^FS")
            indicator = 0;
        if (command.name != "^FD" && command.name != "^FV")
            continue;
        QByteArray text;
        const QByteArray& data = command.data;
        for (qsizetype i = 0; i < data.size(); ++i) {
            if (indicator && data[i] == indicator && i + 2 < data.size()) {
                text += QByteArray::fromHex(data.mid(i + 1, 2));
                i += 2;
            } else {
                text += data[i];
            }
        }
        out << QString::fromUtf8(text);
    }
    return out;
}

// One ^XA ... ^XZ label each.
inline QList<QByteArray> SplitLabels(const QByteArray& zpl) {
    QList<QByteArray> out;
    for (qsizetype start = zpl.indexOf("^XA"); start >= 0; start = zpl.indexOf("^XA", start + 3)) {
        const qsizetype end = zpl.indexOf("^XZ", start);
        out << zpl.mid(start, end < 0 ? -1 : end + 3 - start);
    }
    return out;
}

// A raw-port printer on 127.0.0.1: each connection's bytes, kept when it closes.
class ZplPrinter {
public:
    bool listen(quint16 port = 0) {
        if (!m_server.listen(QHostAddress::LocalHost, port))
            return false;
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, &m_server,
                                 [this, socket] { m_open[socket] += socket->readAll(); });
                QObject::connect(socket, &QTcpSocket::disconnected, &m_server, [this, socket] {
                    m_jobs << m_open.take(socket) + socket->readAll();
                    socket->deleteLater();
                });
            }
        });
        return true;
    }
    quint16 port() const { return m_server.serverPort(); }
    // What each connection sent, in the order the connections closed.
    const QList<QByteArray>& jobs() const { return m_jobs; }
    QList<QByteArray> labels() const {
        QList<QByteArray> out;
        for (const QByteArray& job : m_jobs)
            out += SplitLabels(job);
        return out;
    }

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_open;
    QList<QByteArray> m_jobs;
};

// A port on 127.0.0.1 that nothing listens on now: a printer that is away.
inline quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace qt2xx::test
