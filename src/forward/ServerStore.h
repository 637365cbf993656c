#pragma once

#include "forward/ForwardOutbox.h"
#include "forward/ServerAddress.h"
#include "platform/core/Result.h"
#include "record/RecordSchema.h"

#include <QSqlDatabase>
#include <QString>

#include <vector>

namespace qt2xx {

// The central record server, through Qt SQL's PostgreSQL driver: one connection, used on the
// thread that opened it. On first contact it creates the tables that are missing; a server whose
// record schema is newer than this program knows is refused.
class ServerStore {
public:
    static constexpr int kSchemaVersion = record_schema::kServerVersion;

    explicit ServerStore(ServerAddress address);
    ~ServerStore();
    ServerStore(const ServerStore&) = delete;
    ServerStore& operator=(const ServerStore&) = delete;

    Done open();
    // For programs that only read: connects and reads the schema version, and never creates or
    // changes anything, so a role that may only read will do. A server without the record tables
    // is refused, as one of a newer version is.
    Done openToRead();
    // What openToRead found: Ready, or which kind of refusal its failure was.
    enum class Reading { Ready, Unreachable, NoTables, Newer };
    Reading reading() const { return m_reading; }
    // The version found by openToRead.
    int schemaVersion() const { return m_version; }
    QSqlDatabase database() const;
    bool isOpen() const;
    void close();

    // One transaction: the runs are inserted or given their stop time, the records inserted once
    // by their record id. Sending the same again stores nothing new.
    Done send(const std::vector<ForwardOutbox::Run>& runs, const std::vector<ForwardOutbox::Record>& records);
    // The same, with the orders those records name: an order the server has is given the earlier
    // of the two first uses and is otherwise kept.
    Done send(const std::vector<ForwardOutbox::Run>& runs, const std::vector<OrderInfo>& orders,
              const std::vector<ForwardOutbox::Record>& records);

private:
    Done createSchema();
    Done connect();

    ServerAddress m_address;
    QString m_connection;
    int m_version = 0;
    Reading m_reading = Reading::Unreachable;
};

} // namespace qt2xx
