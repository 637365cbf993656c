#include "support/PgCluster.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

constexpr int kCommandTimeoutMs = 60000;
const QString kFolderPrefix = QStringLiteral("qt2xx-pg-");

// The newest server installed under /usr/lib/postgresql/<version>/bin.
QString serverBinFolder() {
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
        const QString bin = root.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

// The server refuses to run as root: it gets the unprivileged "nobody" instead.
const passwd* serverUser() {
    return ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
}

QStringList asServerUser(QStringList command) {
    if (const passwd* user = serverUser()) {
        command.prepend(QStringLiteral("--"));
        command.prepend(QStringLiteral("--clear-groups"));
        command.prepend(QStringLiteral("--regid=%1").arg(user->pw_gid));
        command.prepend(QStringLiteral("--reuid=%1").arg(user->pw_uid));
        command.prepend(QStringLiteral("setpriv"));
    }
    return command;
}

void stopPostmasterOf(const QString& folder) {
    QFile pidFile(folder + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return;
    const pid_t pid = pid_t(pidFile.readLine().trimmed().toLongLong());
    if (pid <= 1 || ::kill(pid, SIGQUIT) != 0)
        return;
    for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i)
        QThread::msleep(50);
}

} // namespace

namespace qt2xx::test {

PgCluster::PgCluster() {
    sweepLeftovers();
    const QString bin = serverBinFolder();
    if (bin.isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL server under /usr/lib/postgresql (install postgresql)");
        return;
    }
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + '/' + kFolderPrefix.toLocal8Bit() + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        m_error = QStringLiteral("cannot make a temporary folder");
        return;
    }
    m_folder = QString::fromLocal8Bit(pattern);
    QFile owner(m_folder + QStringLiteral("/owner.pid"));
    if (owner.open(QIODevice::WriteOnly))
        owner.write(QByteArray::number(qint64(::getpid())));
    owner.close();
    if (const passwd* user = serverUser()) {
        if (::chown(pattern.constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand the temporary folder to the server user");
            return;
        }
    }
    const QString data = m_folder + QStringLiteral("/data");
    if (!run(asServerUser({bin + QStringLiteral("/initdb"), QStringLiteral("-D"), data, QStringLiteral("-U"),
                           QString::fromLatin1(kSuperuser), QStringLiteral("-E"), QStringLiteral("UTF8"),
                           QStringLiteral("--no-sync"), QStringLiteral("--auth=trust")})))
        return;
    // The password role must give its password; everyone else is trusted. The socket sits in the
    // test's own folder, which nothing else on the machine uses.
    QFile hba(data + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write pg_hba.conf");
        return;
    }
    hba.write(QByteArray("local all ") + kPasswordRole + " scram-sha-256\nlocal all all trust\n");
    hba.close();
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append)) {
        m_error = QStringLiteral("cannot write postgresql.conf");
        return;
    }
    conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\nport = %2\n"
                              "fsync = off\nfull_page_writes = off\n")
                   .arg(m_folder)
                   .arg(kPort)
                   .toLocal8Bit());
    conf.close();
    if (!start())
        return;
    psql(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(kPasswordRole, kPassword));
}

PgCluster::~PgCluster() {
    if (m_folder.isEmpty())
        return;
    if (m_running)
        stop();
    stopPostmasterOf(m_folder);
    QDir(m_folder).removeRecursively();
}

bool PgCluster::start() {
    const QString data = m_folder + QStringLiteral("/data");
    m_running = run(
        asServerUser({serverBinFolder() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data,
                      QStringLiteral("-l"), m_folder + QStringLiteral("/server.log"), QStringLiteral("-w"),
                      QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")}));
    return m_running;
}

bool PgCluster::stop() {
    const QString data = m_folder + QStringLiteral("/data");
    const bool stopped = run(asServerUser(
        {serverBinFolder() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-m"),
         QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")}));
    if (stopped)
        m_running = false;
    return stopped;
}

QString PgCluster::url(const QString& database, const QString& user) const {
    return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4").arg(user, database, m_folder).arg(kPort);
}

QString PgCluster::psql(const QString& sql, const QString& database) {
    QString output;
    if (!run({serverBinFolder() + QStringLiteral("/psql"), QStringLiteral("-X"), QStringLiteral("-q"),
              QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-v"),
              QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), m_folder, QStringLiteral("-p"),
              QString::number(kPort), QStringLiteral("-U"), QString::fromLatin1(kSuperuser),
              QStringLiteral("-d"), database, QStringLiteral("-c"), sql},
             &output))
        return {};
    return output.trimmed();
}

bool PgCluster::createDatabase(const QString& name) {
    return run({serverBinFolder() + QStringLiteral("/createdb"), QStringLiteral("-h"), m_folder,
                QStringLiteral("-p"), QString::number(kPort), QStringLiteral("-U"),
                QString::fromLatin1(kSuperuser), name});
}

bool PgCluster::run(const QStringList& command, QString* output) {
    QProcess process;
    process.setWorkingDirectory(m_folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"PGPASSWORD", "PGPASSFILE", "PGSERVICE", "PGSERVICEFILE", "PGHOST", "PGUSER"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(kCommandTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(1000);
        m_error =
            command.join(u' ') + QStringLiteral(": ") +
            QString::fromLocal8Bit(output ? process.readAllStandardError() : process.readAll()).trimmed();
        return false;
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    m_error.clear();
    return true;
}

// A test killed before its destructor ran leaves its server running and its folder behind. Folders
// whose owner process is gone are stopped and removed; those of live tests are left alone.
void PgCluster::sweepLeftovers() {
    QDir temp(QDir::tempPath());
    const QStringList folders = temp.entryList({kFolderPrefix + QStringLiteral("*")}, QDir::Dirs);
    for (const QString& name : folders) {
        const QString folder = temp.filePath(name);
        QFile owner(folder + QStringLiteral("/owner.pid"));
        if (!owner.open(QIODevice::ReadOnly))
            continue;
        const pid_t pid = pid_t(owner.readAll().trimmed().toLongLong());
        owner.close();
        if (pid <= 1 || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        stopPostmasterOf(folder);
        QDir(folder).removeRecursively();
    }
}

} // namespace qt2xx::test
