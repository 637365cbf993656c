#pragma once

#include "record/ForwardOutbox.h"
#include "record/RecordSchema.h"
#include "record/ServerAddress.h"

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

    bool open(QString* error);
    bool isOpen() const;
    void close();

    // One transaction: the runs are inserted or given their stop time, the records inserted once
    // by their record id. Sending the same again stores nothing new.
    bool send(const std::vector<ForwardOutbox::Run>& runs, const std::vector<ForwardOutbox::Record>& records,
              QString* error);

private:
    bool createSchema(QString* error);

    ServerAddress m_address;
    QString m_connection;
};

} // namespace qt2xx
