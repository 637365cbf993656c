#pragma once

#include "platform/core/CommPort.h"

#include <QString>
#include <QStringList>

#include <span>

namespace qt2xx {

// A USB serial adapter model found on benches, by its USB vendor and product id (lower-case hex).
struct UsbSerialAdapter {
    const char* vendor;
    const char* product;
    const char* model;
};

// The adapters the package's udev rule gives to the user at the machine and keeps ModemManager from.
std::span<const UsbSerialAdapter> BenchAdapters();

// Why a port would not open, told from what the system shows under a root folder: /proc, /sys,
// /run/udev, /dev, the lock folders and the installed packages. "/" is the machine itself; tests hand
// in a prepared tree.
class PortDiagnosis {
public:
    explicit PortDiagnosis(const QString& root = QStringLiteral("/"));

    // The cause and what to do about it, in the operator's words, for a failure to open; empty when
    // nothing more can be said than the failure itself.
    QString explain(const PortFailure& failure) const;

private:
    struct Holder {
        qint64 pid;
        QString name;
    };
    struct Adapter {
        QString usbDevice; // the folder name under /sys/bus/usb/devices
        QString model;
        bool hasTty;
    };

    QString path(const QString& systemPath) const;
    QString systemDevice(const QString& device) const;
    QString explainRefusal() const;
    QString explainHeld(const QString& device) const;
    QString explainMissing() const;
    QString modemManagerNote(const QString& device) const;

    QList<Holder> holders(const QString& device) const;
    QList<qint64> lockOwners(const QString& device) const;
    QString processName(qint64 pid) const;
    bool processRunning(const QString& name) const;
    bool modemManagerMayProbe(const QString& device) const;
    QList<Adapter> attachedAdapters() const;
    QStringList serialDevices() const;
    bool brlttyInstalled() const;
    bool ruleInstalled() const;

    QString m_root; // without a trailing slash: empty for the machine itself
};

// The explanation for a failure to open a port on this machine.
QString ExplainPortFailure(const PortFailure& failure);

} // namespace qt2xx
