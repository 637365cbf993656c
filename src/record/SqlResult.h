#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace qt2xx {

// Puts the driver's reason into *error (when asked for) and returns false.
inline bool SqlFailed(QString* error, const QSqlError& sqlError) {
    if (error)
        *error = sqlError.text().trimmed();
    return false;
}

// Commits when every step went well, else rolls back; a refused commit is a failure too.
inline bool EndTransaction(QSqlDatabase& db, bool ok, QString* error) {
    if (ok && db.commit())
        return true;
    if (ok)
        SqlFailed(error, db.lastError());
    db.rollback();
    return false;
}

} // namespace qt2xx
