#pragma once

#include "platform/core/CommPort.h"

#include <QSerialPort>
#include <QStringList>

namespace qt2xx {

// The command that gives the operator access to serial adapters on Linux.
inline const QString kDialoutGroupCommand = QStringLiteral("sudo usermod -aG dialout $USER");

// The serial port over QSerialPort: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control,
// raw, set once here. Receive events come once for every arrival of data; a device that vanishes or
// fails while open closes the port and raises kCommEventLost.
class SerialPort : public CommPort {
    Q_OBJECT
public:
    // deviceDirectory is where port numbers are looked up on Linux; only tests change it.
    explicit SerialPort(QString deviceDirectory = QStringLiteral("/dev"), QObject* parent = nullptr);
    ~SerialPort() override;

    void setCommPort(std::int16_t number) override;
    void setDevicePath(const QString& path) override;
    PortError open() override;
    void close() override;
    bool isPortOpen() const override;
    bool outputBytes(QByteArrayView bytes) override;
    bool outputText(const QString& text) override;
    QByteArray input() override;
    int commEvent() const override;
    PortFailure lastFailure() const override;
    QString openedDevice() const override { return m_openedDevice; }

    // The devices a port number may name, in the order they are tried; none for 0 and below.
    QStringList candidateDevices(int number) const;
    // The device a port number names now: the first candidate that exists, or empty.
    QString deviceForNumber(int number) const;

private:
    QString selectedDevice() const;
    PortError fail(PortError code, const QString& device, const QString& reason, const QString& remedy = {});
    PortError failOpen(const QString& device);
    void receive();
    void handleError(QSerialPort::SerialPortError error);
    void dropLostDevice(quint64 generation);

    QSerialPort m_port;
    QString m_deviceDirectory;
    std::int16_t m_number = 0;
    QString m_devicePath;
    QString m_numberDevice; // the device the number named at its first successful open
    QString m_device;       // the device of the latest open
    QString m_openedDevice; // the device of the latest successful open
    int m_commEvent = kCommEventNone;
    PortFailure m_failure;
    quint64 m_generation = 0; // counts opens, so a late loss report never closes a later opening
};

} // namespace qt2xx
