#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QComboBox;

namespace qt2xx {

class SerialPort;

// A serial device of the system, as the operator can recognise it.
struct SerialDevice {
    QString path;
    QString description;
    std::optional<quint16> vendor;
    std::optional<quint16> product;
};

inline constexpr int kListedPortNumbers = 5;

// The port box's tooltip: the device each of the numbers 1 to 5 names, then every serial device
// present, so that an adapter that was just plugged in can be found.
QString PortBoxToolTipText(const std::function<QString(int)>& deviceForNumber,
                           const QList<SerialDevice>& devices);

QList<SerialDevice> PresentSerialDevices();

// Answers the port box's tooltip requests with a text computed at that moment. The box owns it.
class PortBoxToolTip : public QObject {
public:
    PortBoxToolTip(QComboBox* box, const SerialPort& port);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const SerialPort& m_port;
};

} // namespace qt2xx
