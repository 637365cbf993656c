#include "platform/core/PortDiagnosis.h"

#include "platform/core/PortNumber.h"
#include "platform/core/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>

namespace qt2xx {
namespace {

constexpr UsbSerialAdapter kBenchAdapters[] = {
    {"1a86", "7523", "CH340"},  {"1a86", "5523", "CH341"},  {"10c4", "ea60", "CP210x"},
    {"10c4", "ea70", "CP2105"}, {"0403", "6001", "FT232"},  {"0403", "6015", "FT231X"},
    {"067b", "2303", "PL2303"}, {"067b", "23a3", "PL2303"},
};

// brltty's own device rules take every adapter with this vendor id, braille display or not.
constexpr char kCh340Vendor[] = "1a86";
constexpr char kRuleFile[] = "/usr/lib/udev/rules.d/60-qt2xx-serial.rules";

QString readLine(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readLine(256)).trimmed();
}

qint64 leadingNumber(QByteArrayView text) {
    const auto begin = std::find_if(text.begin(), text.end(), [](char c) { return c != ' '; });
    qint64 value = 0;
    const auto [end, error] = std::from_chars(begin, text.end(), value);
    return error == std::errc() && end != begin && value > 0 ? value : 0;
}

QStringList numberedEntries(const QString& folder) {
    QStringList numbers;
    for (const QString& name : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (std::all_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); }))
            numbers.append(name);
    }
    return numbers;
}

const UsbSerialAdapter* findAdapter(const QString& vendor, const QString& product) {
    for (const UsbSerialAdapter& adapter : kBenchAdapters) {
        if (vendor == QLatin1String(adapter.vendor) && product == QLatin1String(adapter.product))
            return &adapter;
    }
    return nullptr;
}

} // namespace

std::span<const UsbSerialAdapter> BenchAdapters() {
    return kBenchAdapters;
}

PortDiagnosis::PortDiagnosis(const QString& root) : m_root(QFileInfo(root).canonicalFilePath()) {
    if (m_root == QLatin1String("/"))
        m_root.clear();
}

QString PortDiagnosis::explain(const PortFailure& failure) const {
    if (failure.accessRefused)
        return explainRefusal();
    switch (failure.code) {
    case kPortUnusable:
        if (failure.device.isEmpty() || !QFileInfo::exists(path(failure.device)))
            return explainMissing();
        return modemManagerNote(systemDevice(failure.device));
    case kPortOccupied:
        return explainHeld(systemDevice(failure.device));
    case kPortOpenFailed:
        return modemManagerNote(systemDevice(failure.device));
    default:
        return {};
    }
}

QString PortDiagnosis::path(const QString& systemPath) const {
    return m_root + systemPath;
}

// The device as the system names it once by-id and by-path links are followed.
QString PortDiagnosis::systemDevice(const QString& device) const {
    const QString canonical = QFileInfo(path(device)).canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(m_root))
        return device;
    return canonical.mid(m_root.size());
}

QString PortDiagnosis::explainRefusal() const {
    const QString join =
        QStringLiteral("Add your user to the dialout group: %1, then log out and log in again.")
            .arg(kDialoutGroupCommand);
    if (ruleInstalled())
        return QStringLiteral(
                   "The qt2xx rule for bench adapters is installed, but it opens them only to the user "
                   "at this machine's own screen and keyboard, and only for the adapter models it knows. ") +
               join;
    return join + QLatin1Char(' ') +
           QStringLiteral(
               "Installing the qt2xx package avoids this: its rule lets the user at the machine open "
               "the common USB serial adapters.");
}

QString PortDiagnosis::explainHeld(const QString& device) const {
    const QList<Holder> found = holders(device);
    const bool probing = std::any_of(found.begin(), found.end(),
                                     [](const Holder& h) { return h.name == QLatin1String("ModemManager"); });
    if (probing)
        return modemManagerNote(device);
    if (found.isEmpty()) {
        const QString note = modemManagerNote(device);
        return note.isEmpty()
                   ? QStringLiteral("Another program holds this port. Close serial terminals and other "
                                    "tools that may use it, then try again.")
                   : note;
    }
    QStringList names;
    for (const Holder& h : found)
        names.append(QStringLiteral("%1 (process %2)")
                         .arg(h.name.isEmpty() ? QStringLiteral("a program") : h.name)
                         .arg(h.pid));
    return QStringLiteral(
               "This port is held by %1. Close that program, or end it with kill %2, then try again.")
        .arg(names.join(QStringLiteral(", ")))
        .arg(found.front().pid);
}

QString PortDiagnosis::explainMissing() const {
    const QList<Adapter> adapters = attachedAdapters();
    const bool claimed = std::any_of(adapters.begin(), adapters.end(), [](const Adapter& a) {
        return !a.hasTty && a.model.startsWith(QLatin1String("CH34"));
    });
    if (claimed && brlttyInstalled())
        return QStringLiteral(
            "A CH340 adapter is plugged in, but brltty, the braille display service, has taken it, "
            "so it gets no serial device. If no braille display is used here, remove brltty "
            "(sudo apt remove brltty), or keep it and stop it taking adapters "
            "(sudo systemctl mask brltty-udev.service). Then unplug the adapter and plug it in again.");
    const QStringList devices = serialDevices();
    if (!devices.isEmpty()) {
        QStringList named;
        for (const QString& device : devices)
            named.append(QStringLiteral("%1 is port %2").arg(device).arg(DevicePortNumber(device)));
        return QStringLiteral("The serial adapters here: %1.").arg(named.join(QStringLiteral(", ")));
    }
    if (adapters.isEmpty())
        return QStringLiteral(
            "No serial adapter is plugged in. Plug in the adapter and try again: the first one is "
            "port 1.");
    return {};
}

QString PortDiagnosis::modemManagerNote(const QString& device) const {
    if (!processRunning(QStringLiteral("ModemManager")) || !modemManagerMayProbe(device))
        return {};
    return QStringLiteral(
        "ModemManager is running and may be probing this adapter, as it does for some seconds after "
        "an adapter is plugged in. Wait a moment and try again; the qt2xx package's rule makes "
        "ModemManager leave bench adapters alone.");
}

// The programs holding the device: the owner of its lock file, then every process with it open.
QList<PortDiagnosis::Holder> PortDiagnosis::holders(const QString& device) const {
    QList<qint64> pids = lockOwners(device);
    for (const QString& pid : numberedEntries(path(QStringLiteral("/proc")))) {
        const QDir fds(path(QStringLiteral("/proc/%1/fd").arg(pid)));
        const QStringList links = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const bool holds = std::any_of(links.begin(), links.end(), [&](const QString& fd) {
            return QFile::symLinkTarget(fds.filePath(fd)) == device;
        });
        if (holds && !pids.contains(pid.toLongLong()))
            pids.append(pid.toLongLong());
    }
    QList<Holder> found;
    for (qint64 pid : pids)
        found.append({pid, processName(pid)});
    return found;
}

// Lock files name the device by its name under /dev, with "/" as "_"; they hold the owner's pid first.
QList<qint64> PortDiagnosis::lockOwners(const QString& device) const {
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QList<qint64> pids;
    for (const char* folder : {"/run/lock", "/var/lock", "/tmp"}) {
        QFile lock(path(QLatin1String(folder) + QStringLiteral("/LCK..") + name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const qint64 pid = leadingNumber(lock.read(64));
        if (pid > 0 && !pids.contains(pid) && QFileInfo::exists(path(QStringLiteral("/proc/%1").arg(pid))))
            pids.append(pid);
    }
    return pids;
}

QString PortDiagnosis::processName(qint64 pid) const {
    return readLine(path(QStringLiteral("/proc/%1/comm").arg(pid)));
}

bool PortDiagnosis::processRunning(const QString& name) const {
    const QStringList pids = numberedEntries(path(QStringLiteral("/proc")));
    return std::any_of(pids.begin(), pids.end(),
                       [&](const QString& pid) { return processName(pid.toLongLong()) == name; });
}

// ModemManager looks at serial devices that udev knows, unless their udev data excludes them; udev
// keeps a device's data in /run/udev/data/c<major>:<minor>.
bool PortDiagnosis::modemManagerMayProbe(const QString& device) const {
    const QString numbers =
        readLine(path(QStringLiteral("/sys/class/tty/%1/dev").arg(QFileInfo(device).fileName())));
    if (numbers.isEmpty())
        return false;
    QFile data(path(QStringLiteral("/run/udev/data/c") + numbers));
    if (!data.open(QIODevice::ReadOnly))
        return true;
    while (!data.atEnd()) {
        if (data.readLine().trimmed() == "E:ID_MM_DEVICE_IGNORE=1")
            return false;
    }
    return true;
}

// The bench adapters on the USB bus; an adapter has a tty when one of its interfaces carries one.
QList<PortDiagnosis::Adapter> PortDiagnosis::attachedAdapters() const {
    const QDir usb(path(QStringLiteral("/sys/bus/usb/devices")));
    QList<Adapter> adapters;
    for (const QString& device : usb.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString vendor = readLine(usb.filePath(device + QStringLiteral("/idVendor")));
        const UsbSerialAdapter* known =
            findAdapter(vendor, readLine(usb.filePath(device + QStringLiteral("/idProduct"))));
        if (!known && vendor != QLatin1String(kCh340Vendor))
            continue;
        bool hasTty = false;
        for (const QString& interface : usb.entryList({device + QStringLiteral(":*")}, QDir::Dirs))
            hasTty = hasTty ||
                     !QDir(usb.filePath(interface)).entryList({QStringLiteral("tty*")}, QDir::Dirs).isEmpty();
        adapters.append({device, QLatin1String(known ? known->model : "CH340"), hasTty});
    }
    return adapters;
}

QStringList PortDiagnosis::serialDevices() const {
    QStringList devices;
    const QDir dev(path(QStringLiteral("/dev")));
    for (const QString& name : dev.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                             QDir::System | QDir::Files, QDir::Name))
        devices.append(QStringLiteral("/dev/") + name);
    return devices;
}

bool PortDiagnosis::brlttyInstalled() const {
    if (QFileInfo::exists(path(QStringLiteral("/usr/bin/brltty"))))
        return true;
    QFile status(path(QStringLiteral("/var/lib/dpkg/status")));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    bool inBrltty = false;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine().trimmed();
        if (line.startsWith("Package:"))
            inBrltty = line == "Package: brltty";
        else if (inBrltty && line.startsWith("Status:"))
            return line.endsWith(" installed");
    }
    return false;
}

bool PortDiagnosis::ruleInstalled() const {
    return QFileInfo::exists(path(QLatin1String(kRuleFile)));
}

QString ExplainPortFailure(const PortFailure& failure) {
#ifdef Q_OS_LINUX
    return PortDiagnosis().explain(failure);
#else
    if (failure.accessRefused)
        return QStringLiteral("Ask the administrator for access to this device.");
    return {};
#endif
}

} // namespace qt2xx
