#pragma once

#include "platform/core/Result.h"

#include <QString>
#include <QStringList>

namespace qt2xx {

// Where the central record server is, read from a libpq connection URL:
//   postgresql://user@host:port/dbname?sslmode=require
// The host may be a socket folder given as ?host=/run/postgresql. A URL never carries a password:
// libpq finds it in ~/.pgpass, the file PGPASSFILE names, or a service file.
struct ServerAddress {
    QString host;               // empty: libpq's default
    int port = -1;              // -1: libpq's default
    QString database;           // empty: libpq's default (the user name)
    QString user;               // empty: libpq's default (the login name)
    QStringList connectOptions; // "key=value" libpq options for the Qt driver

    // Reads a URL; a refusal says why without repeating the URL, which may hold a password.
    static Result<ServerAddress> parse(const QString& url);

    // The address without anything secret, for messages and as the key of the forwarding progress:
    // "user@host:port/dbname".
    QString display() const;
};

} // namespace qt2xx
