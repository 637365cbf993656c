#include "platform/core/PortDiagnosis.h"
#include "platform/core/PortNumber.h"
#include "support/BuildPaths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(qt2xx::PortFailure)

using namespace qt2xx;

namespace {

// A tree entry is "path=content" for a file, "path->target" for a link, "path/" for a folder.
void build(const QString& root, const QStringList& entries) {
    for (const QString& entry : entries) {
        const qsizetype arrow = entry.indexOf(QLatin1String("->"));
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        const QString name = root + QLatin1Char('/') + entry.left(arrow >= 0 ? arrow : equals);
        QVERIFY(QDir().mkpath(arrow < 0 && equals < 0 ? name : QFileInfo(name).path()));
        if (arrow >= 0) {
            QVERIFY(QFile::link(entry.mid(arrow + 2), name));
        } else if (equals >= 0) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(entry.mid(equals + 1).toUtf8());
        }
    }
}

const QStringList kAdapterTty = {"dev/ttyUSB0=", "sys/class/tty/ttyUSB0/dev=188:0\n"};
const QStringList kModemManager = {"proc/500/comm=ModemManager\n", "run/udev/data/c188:0=E:ID_VENDOR=1a86\n"};
const QStringList kCh340NoTty = {"sys/bus/usb/devices/1-1/idVendor=1a86\n",
                                 "sys/bus/usb/devices/1-1/idProduct=7523\n", "sys/bus/usb/devices/1-1:1.0/"};

} // namespace

class TestPortDiagnosis : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void namesTheCauseAndRemedy_data();
    void namesTheCauseAndRemedy();
    void ruleCoversEveryAdapterTheDiagnosisKnows();
    void deviceAndPortNumberAgree();
};

void TestPortDiagnosis::namesTheCauseAndRemedy_data() {
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<PortFailure>("failure");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("absent");

    const PortFailure refused{kPortUnusable, "/dev/ttyUSB0", "Permission denied", {}, true};
    const PortFailure occupied{kPortOccupied, "/dev/ttyUSB0", "Permission denied", {}};
    const PortFailure byId{kPortOccupied, "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "busy", {}};
    const PortFailure noDevice{kPortUnusable, {}, "port 1 names no device", {}};

    QTest::newRow("refused, no rule: the dialout command and the package's rule")
        << kAdapterTty << refused
        << "sudo usermod -aG dialout $USER, then log out and log in again. "
           "Installing the qt2xx package avoids this"
        << "is installed";
    QTest::newRow("refused with the rule installed: it serves only the local user")
        << (kAdapterTty + QStringList{"usr/lib/udev/rules.d/60-qt2xx-serial.rules=#\n"}) << refused
        << "installed, but it opens them only to the user at this machine's own screen"
        << "avoids this";
    QTest::newRow("held: the lock file names its owner")
        << (kAdapterTty + QStringList{"run/lock/LCK..ttyUSB0=      4242\n", "proc/4242/comm=minicom\n"})
        << occupied << "held by minicom (process 4242). Close that program, or end it with kill 4242"
        << "";
    QTest::newRow("held: an open descriptor through a by-id name")
        << (kAdapterTty + QStringList{"dev/serial/by-id/usb-1a86_USB_Serial-if00-port0->../../ttyUSB0",
                                      "proc/77/fd/3->/dev/ttyUSB0", "proc/77/comm=screen\n",
                                      "proc/78/fd/3->/dev/ttyUSB1", "proc/78/comm=cu\n"})
        << byId << "held by screen (process 77)."
        << "cu";
    QTest::newRow("held: a stale lock names nobody")
        << (kAdapterTty + QStringList{"var/lock/LCK..ttyUSB0=999\n"}) << occupied
        << "Another program holds this port."
        << "999";
    QTest::newRow("ModemManager holds an adapter it was not told to leave")
        << (kAdapterTty + kModemManager + QStringList{"proc/500/fd/9->/dev/ttyUSB0"}) << occupied
        << "ModemManager is running and may be probing this adapter"
        << "held by";
    QTest::newRow("ModemManager running and the adapter not excluded")
        << (kAdapterTty + kModemManager) << PortFailure{kPortOpenFailed, "/dev/ttyUSB0", "timeout", {}}
        << "Wait a moment and try again; the qt2xx package's rule"
        << "";
    QTest::newRow("ModemManager running but the adapter excluded")
        << (kAdapterTty + kModemManager + QStringList{"run/udev/data/c188:0=E:ID_MM_DEVICE_IGNORE=1\n"})
        << occupied << "Another program holds this port."
        << "ModemManager";
    QTest::newRow("brltty installed has taken a CH340")
        << (kCh340NoTty + QStringList{"usr/bin/brltty="}) << noDevice
        << "brltty, the braille display service, has taken it"
        << "";
    QTest::newRow("brltty known from the package status")
        << (kCh340NoTty + QStringList{"var/lib/dpkg/status=Package: brltty\nStatus: install ok installed\n"})
        << noDevice << "sudo apt remove brltty"
        << "";
    QTest::newRow("brltty removed but its configuration kept: not the cause")
        << (kCh340NoTty +
            QStringList{"var/lib/dpkg/status=Package: brltty\nStatus: deinstall ok config-files\n"
                        "Package: bash\nStatus: install ok installed\n"})
        << noDevice << ""
        << "brltty";
    QTest::newRow("a CH340 with its tty is not brltty's")
        << (kCh340NoTty +
            QStringList{"sys/bus/usb/devices/1-1:1.0/ttyUSB0/", "dev/ttyUSB0=", "usr/bin/brltty="})
        << noDevice << "/dev/ttyUSB0 is port 1"
        << "brltty";
    QTest::newRow("other adapters present: their port numbers")
        << QStringList{"dev/ttyUSB1=", "dev/ttyACM0=", "dev/ttyS0="} << noDevice
        << "The serial adapters here: /dev/ttyACM0 is port 1, /dev/ttyUSB1 is port 2."
        << "ttyS0";
    QTest::newRow("a device path that is gone: the devices there are")
        << QStringList{"dev/ttyUSB0="} << PortFailure{kPortUnusable, "/dev/ttyUSB3", "No such file", {}}
        << "/dev/ttyUSB0 is port 1"
        << "";
    QTest::newRow("a pseudo-terminal is no adapter ModemManager probes")
        << (kModemManager + QStringList{"dev/pts/3="})
        << PortFailure{kPortOpenFailed, "/dev/pts/3", "timeout", {}} << ""
        << "ModemManager";
    QTest::newRow("no adapter at all")
        << QStringList{"dev/ttyS0=", "proc/1/comm=init\n"} << noDevice << "No serial adapter is plugged in."
        << "";
}

void TestPortDiagnosis::namesTheCauseAndRemedy() {
    QFETCH(QStringList, tree);
    QFETCH(PortFailure, failure);
    QFETCH(QString, expected);
    QFETCH(QString, absent);
    QTemporaryDir root;
    build(root.path(), tree);

    const QString text = PortDiagnosis(root.path()).explain(failure);
    if (expected.isEmpty())
        QVERIFY2(text.isEmpty(), qPrintable(text));
    QVERIFY2(text.contains(expected), qPrintable(text));
    if (!absent.isEmpty())
        QVERIFY2(!text.contains(absent), qPrintable(text));
}

// The rule the package installs and the adapters the diagnosis recognises must not drift apart.
void TestPortDiagnosis::ruleCoversEveryAdapterTheDiagnosisKnows() {
    QFile rule(qt2xx::test::SourcePath(u"packaging/60-qt2xx-serial.rules"));
    QVERIFY(rule.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(rule.readAll());
    static const QRegularExpression pair(
        QStringLiteral(R"re(ATTRS\{idVendor\}=="(\w+)", ATTRS\{idProduct\}=="(\w+)")re"));
    QStringList inRule;
    for (const auto& m : pair.globalMatch(text))
        inRule.append(m.captured(1) + QLatin1Char(':') + m.captured(2));
    QStringList known;
    for (const UsbSerialAdapter& adapter : BenchAdapters())
        known.append(QLatin1String(adapter.vendor) + QLatin1Char(':') + QLatin1String(adapter.product));
    inRule.sort();
    known.sort();
    QCOMPARE(inRule, known);
    QVERIFY(text.contains(QLatin1String(R"(ENV{ID_MM_DEVICE_IGNORE}="1")")));
    QVERIFY(text.contains(QLatin1String(R"(TAG+="uaccess")")));
}

// The number a device is told by is one the port box tries for it, in the port box's order.
void TestPortDiagnosis::deviceAndPortNumberAgree() {
    QCOMPARE(PortNumberDevices(2, QStringLiteral("/x")),
             (QStringList{"/x/ttyUSB1", "/x/ttyACM1", "/x/ttyS1"}));
    QVERIFY(PortNumberDevices(0).isEmpty());
    const QList<std::pair<QString, int>> devices = {
        {"/dev/ttyUSB0", 1}, {"/dev/ttyACM3", 4}, {"/dev/ttyS1", 2}, {"/dev/ttyAMA0", 0},
        {"/dev/pts/3", 0},   {"/dev/xttyS1", 0},  {"/dev/ttyUSB", 0}};
    for (const auto& [device, number] : devices) {
        QCOMPARE(DevicePortNumber(device), number);
        if (number > 0)
            QVERIFY(PortNumberDevices(number).contains(device));
    }
}

QTEST_GUILESS_MAIN(TestPortDiagnosis)
#include "tst_portdiagnosis.moc"
