#pragma once

#include "platform/core/Result.h"
#include "record/ProductionRecord.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <vector>

namespace qt2xx {

// What waits for one server, for `qt2xx-records status`.
struct ForwardStatus {
    QString server;          // ServerAddress::display()
    qint64 waiting = 0;      // records not yet acknowledged by the server
    QDateTime oldestWaiting; // when the oldest of them was recorded; invalid when none waits
    QString lastError;       // empty once the server took records again
    QDateTime lastErrorAt;
    QDateTime lastSentAt;
};
Result<std::vector<ForwardStatus>> readForwardStatus(QSqlDatabase& db);

// The local side of forwarding to one server: reads what the server does not have yet, oldest
// first, and keeps the progress durably in the record database. Uses its own connection, on the
// thread that opened it; the record writers go on writing the same file meanwhile.
class ForwardOutbox {
public:
    struct Record {
        qint64 seq = 0; // its place in the local order of writing
        ProductionRecord record;
        QString host; // the bench its run was recorded on
    };
    using Run = RunInfo;

    ForwardOutbox(QString databasePath, QString server);
    ~ForwardOutbox();
    ForwardOutbox(const ForwardOutbox&) = delete;
    ForwardOutbox& operator=(const ForwardOutbox&) = delete;

    enum class Opened {
        Yes,
        NotYet, // no database yet, or one its writer has not brought to the forwarding version yet
    };
    Result<Opened> open();
    bool isOpen() const;

    // Runs started, or stopped, since the server last took them.
    Result<std::vector<Run>> changedRuns();
    // Up to `limit` records after the last one the server acknowledged, oldest first.
    Result<std::vector<Record>> nextRecords(int limit);
    // The orders these records name, so that the server knows each order with its first record.
    Result<std::vector<OrderInfo>> ordersOf(const std::vector<Record>& records);
    // The server acknowledged these runs and every record up to lastSeq.
    Done acknowledge(const std::vector<Run>& runs, qint64 lastSeq);
    // Records the server has not acknowledged.
    Result<qint64> waitingCount();
    // The server could not be reached or refused; kept for the status until the next success.
    Done noteFailure(const QString& reason);

private:
    Done exec(const QString& sql, const QVariantList& values);

    QString m_path;
    QString m_server;
    QString m_connection;
};

} // namespace qt2xx
