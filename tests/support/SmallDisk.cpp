#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace qt2xx::test {
namespace {

bool run(const QStringList& command) {
    return QProcess::execute(command.first(), command.mid(1)) == 0;
}

} // namespace

SmallDisk::SmallDisk(const QString& folder) : m_folder(folder) {
    QDir().mkpath(folder);
    m_mounted = ::geteuid() == 0 &&
                run({QStringLiteral("mount"), QStringLiteral("-t"), QStringLiteral("tmpfs"),
                     QStringLiteral("-o"), QStringLiteral("size=2m"), QStringLiteral("tmpfs"), folder});
}

SmallDisk::~SmallDisk() {
    if (m_mounted)
        run({QStringLiteral("umount"), QStringLiteral("-l"), m_folder});
}

bool SmallDisk::setReadOnly(bool readOnly) {
    return run({QStringLiteral("mount"), QStringLiteral("-o"),
                readOnly ? QStringLiteral("remount,ro") : QStringLiteral("remount,rw"), m_folder});
}

void SmallDisk::fill() {
    QFile filler(m_folder + QStringLiteral("/filler"));
    if (filler.open(QIODevice::WriteOnly))
        while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
        }
}

void SmallDisk::freeUp() {
    QFile::remove(m_folder + QStringLiteral("/filler"));
}

} // namespace qt2xx::test
