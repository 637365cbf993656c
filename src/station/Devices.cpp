#include "station/Devices.h"

#include "link/PortBox.h"
#include "link/PortConnection.h"
#include "platform/core/PortErrors.h"
#include "platform/core/PortNumber.h"
#include "platform/core/SerialPort.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace qt2xx {
namespace {

// The port box number whose lookup lands on the device, if any.
int numberOf(const QString& device, const SerialPort& lookup) {
    const int number = DevicePortNumber(device);
    return number > 0 && lookup.deviceForNumber(number) == device ? number : 0;
}

// Links of one folder of /dev/serial, by the device they point at.
QMap<QString, QStringList> links(const QString& folder) {
    QMap<QString, QStringList> byDevice;
    const QDir dir(folder);
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            byDevice[target] << link.absoluteFilePath();
    }
    return byDevice;
}

QString hex4(quint16 id) {
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

} // namespace

PortChoice ResolvePort(const QString& text, const QString& deviceDirectory) {
    PortChoice choice{text, {}, {}};
    if (text.contains(QLatin1Char('/'))) {
        choice.device = QFileInfo(text).absoluteFilePath();
        return choice;
    }
    const PortBoxChoice box = ReadPortBox(text);
    SerialPort lookup(deviceDirectory);
    if (box.error == kPortOk) {
        choice.device = box.devicePath.isEmpty() ? lookup.deviceForNumber(box.number) : box.devicePath;
        if (!choice.device.isEmpty())
            return choice;
        lookup.setCommPort(box.number);
        lookup.open(); // fails, and says which devices the number could have named
    }
    const PortFailure failure =
        box.error == kPortOk
            ? lookup.lastFailure()
            : PortFailure{
                  box.error, {}, QStringLiteral("%1 is too large for a port number").arg(text.trimmed()), {}};
    choice.problem = kCommNoUseMessage + QLatin1Char(' ') + PortFailureDetail(failure);
    return choice;
}

QString DeviceIdentity(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(device).absoluteFilePath() : canonical;
}

std::vector<SerialDevice> ListSerialDevices(const QString& serialDirectory, const QString& deviceDirectory) {
    const QMap<QString, QStringList> byId = links(serialDirectory + QStringLiteral("/by-id"));
    const QMap<QString, QStringList> byPath = links(serialDirectory + QStringLiteral("/by-path"));
    QMap<QString, SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice& d = devices[DeviceIdentity(info.systemLocation())];
        d.description = info.description();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            d.usbId = hex4(info.vendorIdentifier()) + QLatin1Char(':') + hex4(info.productIdentifier());
        d.serialNumber = info.serialNumber();
    }
    for (const QString& device : byId.keys() + byPath.keys())
        devices[device];
    const SerialPort lookup(deviceDirectory);
    std::vector<SerialDevice> list;
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        SerialDevice d = it.value();
        d.device = it.key();
        d.number = numberOf(d.device, lookup);
        d.byId = byId.value(d.device);
        d.byPath = byPath.value(d.device);
        list.push_back(d);
    }
    return list;
}

} // namespace qt2xx
