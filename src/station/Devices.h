#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace qt2xx {

// A port named on the station's command line, resolved to the device it opens.
struct PortChoice {
    QString text;    // as given
    QString device;  // the device path; empty when the text names none
    QString problem; // why it names none: the port box's message and its reason
};

// A number is read by the port box's rule and looked up as the window looks it up; any text with a
// slash is a device path, made absolute.
PortChoice ResolvePort(const QString& text, const QString& deviceDirectory = QStringLiteral("/dev"));

// The same device under two names (a by-path link and the device itself, say) is one device.
QString DeviceIdentity(const QString& device);

// One serial device as --list-ports shows it.
struct SerialDevice {
    QString device;     // /dev/ttyUSB0
    int number = 0;     // the port box number that opens it; 0 when none does
    QStringList byId;   // links in /dev/serial/by-id
    QStringList byPath; // links in /dev/serial/by-path
    QString description;
    QString usbId; // vendor:product in hex; empty when not a USB device
    QString serialNumber;
};

// Every serial device the system knows and every device a by-id or by-path link names.
std::vector<SerialDevice> ListSerialDevices(const QString& serialDirectory = QStringLiteral("/dev/serial"),
                                            const QString& deviceDirectory = QStringLiteral("/dev"));

} // namespace qt2xx
