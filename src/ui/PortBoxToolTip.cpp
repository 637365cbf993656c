#include "ui/PortBoxToolTip.h"

#include "platform/core/SerialPort.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QSerialPortInfo>
#include <QStringList>
#include <QToolTip>

namespace qt2xx {
namespace {

QString usbId(quint16 id) {
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

QString describe(const SerialDevice& device) {
    QStringList parts{device.path};
    if (!device.description.isEmpty())
        parts << device.description;
    if (device.vendor && device.product)
        parts << QStringLiteral("USB %1:%2").arg(usbId(*device.vendor), usbId(*device.product));
    return parts.join(QStringLiteral(" - "));
}

} // namespace

QString PortBoxToolTipText(const std::function<QString(int)>& deviceForNumber,
                           const QList<SerialDevice>& devices) {
    QStringList lines{QStringLiteral("Port numbers:")};
    for (int number = 1; number <= kListedPortNumbers; ++number) {
        const QString device = deviceForNumber(number);
        lines << QStringLiteral("  %1 = %2")
                     .arg(number)
                     .arg(device.isEmpty() ? QStringLiteral("no device") : device);
    }
    lines << QStringLiteral("Serial devices present:");
    if (devices.isEmpty())
        lines << QStringLiteral("  none");
    for (const SerialDevice& device : devices)
        lines << QStringLiteral("  ") + describe(device);
    lines << QStringLiteral("A device path may be typed instead of a number.");
    return lines.join(QLatin1Char('\n'));
}

QList<SerialDevice> PresentSerialDevices() {
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice device{info.systemLocation(), info.description(), {}, {}};
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            device.vendor = info.vendorIdentifier();
            device.product = info.productIdentifier();
        }
        devices << device;
    }
    return devices;
}

PortBoxToolTip::PortBoxToolTip(QComboBox* box, const SerialPort& port) : QObject(box), m_port(port) {
    box->installEventFilter(this);
}

// The line edit inside the box passes its unanswered tooltip requests up to the box.
bool PortBoxToolTip::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = PortBoxToolTipText([this](int number) { return m_port.deviceForNumber(number); },
                                            PresentSerialDevices());
    QToolTip::showText(help->globalPos(), text, static_cast<QWidget*>(watched));
    return true;
}

} // namespace qt2xx
