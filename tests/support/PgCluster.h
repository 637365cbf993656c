#pragma once

#include <QString>
#include <QStringList>

namespace qt2xx::test {

// A throwaway PostgreSQL server for tests: a cluster made with initdb in a temporary folder, listening
// on a Unix socket in that folder only. The server runs as an unprivileged user when the tests run as
// root. The superuser "postgres" logs in without a password; the role "bench" must give its password
// ("bench-secret"). The cluster is stopped and its folder removed by the destructor; one left behind
// by a test that was killed is removed by the next cluster made.
class PgCluster {
public:
    static constexpr const char* kSuperuser = "postgres";
    static constexpr const char* kPasswordRole = "bench";
    static constexpr const char* kPassword = "bench-secret";
    static constexpr int kPort = 5432;

    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // Empty when the cluster runs; else why it could not be made or started.
    QString error() const { return m_error; }
    bool isRunning() const { return m_running; }

    bool start();
    bool stop();

    // The folder that holds the server's socket, as a libpq host.
    QString socketFolder() const { return m_folder; }
    // A URL for the server, with the socket folder as its host.
    QString url(const QString& database, const QString& user = QString::fromLatin1(kSuperuser)) const;

    // Runs SQL through psql as the superuser; returns its output (unaligned, tuples only), or an
    // empty string with error() set.
    QString psql(const QString& sql, const QString& database = QStringLiteral("postgres"));
    bool createDatabase(const QString& name);

private:
    bool run(const QStringList& command, QString* output = nullptr);
    void sweepLeftovers();

    QString m_folder;
    QString m_error;
    bool m_running = false;
};

} // namespace qt2xx::test
