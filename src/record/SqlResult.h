#pragma once

#include "platform/core/Result.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace qt2xx {

// The driver's reason, as the failure of the step that met it.
inline Failure SqlFailure(const QSqlError& error) {
    return Fail(error.text().trimmed());
}

// Commits when every step went well, else rolls back; a refused commit is a failure too.
inline Done EndTransaction(QSqlDatabase& db, Done steps) {
    if (steps && db.commit())
        return {};
    const Done failed = steps ? Done(SqlFailure(db.lastError())) : steps;
    db.rollback();
    return failed;
}

} // namespace qt2xx
