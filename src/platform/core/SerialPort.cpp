#include "platform/core/SerialPort.h"

#include "platform/core/PortDiagnosis.h"
#include "platform/core/PortNumber.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace qt2xx {
namespace {

bool isLoss(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
           error == QSerialPort::WriteError;
}

// QSerialPort reports a refused permission, its own lock file held by another program and a busy
// device all as PermissionError; only the first is a matter of permissions.
bool permissionRefused(const QString& device) {
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(device);
    return false;
#endif
}

} // namespace

SerialPort::SerialPort(QString deviceDirectory, QObject* parent)
    : CommPort(parent), m_deviceDirectory(std::move(deviceDirectory)) {
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::receive);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::handleError);
}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::setCommPort(std::int16_t number) {
    m_number = number;
    m_devicePath.clear();
    m_numberDevice.clear();
}

void SerialPort::setDevicePath(const QString& path) {
    m_devicePath = path;
    m_numberDevice.clear();
}

QStringList SerialPort::candidateDevices(int number) const {
    return PortNumberDevices(number, m_deviceDirectory);
}

QString SerialPort::deviceForNumber(int number) const {
    const QStringList candidates = candidateDevices(number);
#ifdef Q_OS_WIN
    return candidates.value(0);
#else
    for (const QString& device : candidates) {
        if (QFileInfo::exists(device))
            return device;
    }
    return {};
#endif
}

// A number is looked up at its first successful open and keeps that device until it is set again: a
// pulled adapter must not be replaced unseen by the next device the number could name.
QString SerialPort::selectedDevice() const {
    if (!m_devicePath.isEmpty())
        return m_devicePath;
    return m_numberDevice.isEmpty() ? deviceForNumber(m_number) : m_numberDevice;
}

PortError SerialPort::fail(PortError code, const QString& device, const QString& reason,
                           const QString& remedy) {
    m_failure = {code, device, reason, remedy};
    return code;
}

PortError SerialPort::open() {
    if (m_port.isOpen())
        return fail(kPortAlreadyOpen, m_device, QStringLiteral("the port is already open"));
    const QString device = selectedDevice();
    if (device.isEmpty()) {
        const QStringList candidates = candidateDevices(m_number);
        const QString reason = candidates.isEmpty()
                                   ? QStringLiteral("port number %1 names no device").arg(m_number)
                                   : QStringLiteral("port %1 names no device: none of %2 exists")
                                         .arg(m_number)
                                         .arg(candidates.join(QStringLiteral(", ")));
        return fail(kPortUnusable, {}, reason);
    }
    m_device = device;
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadWrite))
        return failOpen(device);
    if (m_devicePath.isEmpty())
        m_numberDevice = device;
    m_openedDevice = device;
    ++m_generation;
    m_port.clearError();
    m_failure = {};
    return kPortOk;
}

PortError SerialPort::failOpen(const QString& device) {
    const QSerialPort::SerialPortError error = m_port.error();
    const QString reason = m_port.errorString();
    m_port.clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return fail(kPortUnusable, device, reason);
    case QSerialPort::PermissionError:
        if (permissionRefused(device)) {
            fail(kPortUnusable, device, reason);
            m_failure.accessRefused = true;
            return kPortUnusable;
        }
        return fail(kPortOccupied, device, reason);
    case QSerialPort::OpenError:
        return fail(kPortAlreadyOpen, device, reason);
    case QSerialPort::ResourceError:             // an I/O error: a serial device with no hardware behind it
    case QSerialPort::UnsupportedOperationError: // not a terminal: it takes no line settings
        return fail(kPortUnusable, device, reason);
    default:
        if (QFileInfo(device).isDir())
            return fail(kPortUnusable, device, reason);
        return fail(kPortOpenFailed, device, reason);
    }
}

void SerialPort::close() {
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool SerialPort::isPortOpen() const {
    return m_port.isOpen();
}

bool SerialPort::outputBytes(QByteArrayView bytes) {
    if (!m_port.isOpen()) {
        fail(kPortNotOpen, m_device, QStringLiteral("the port is not open"));
        return false;
    }
    // flush() hands the bytes to the device at once, without waiting, so one output is one write.
    if (m_port.write(bytes.data(), bytes.size()) != bytes.size() || !m_port.flush()) {
        fail(kPortWriteFailed, m_device, m_port.errorString());
        return false;
    }
    return true;
}

bool SerialPort::outputText(const QString& text) {
    return outputBytes(text.toLatin1());
}

QByteArray SerialPort::input() {
    return m_port.readAll();
}

int SerialPort::commEvent() const {
    return m_commEvent;
}

// The explanation is looked for only when asked: a seeking run meets failed opens every few ticks.
PortFailure SerialPort::lastFailure() const {
    PortFailure failure = m_failure;
    if (failure.remedy.isEmpty())
        failure.remedy = ExplainPortFailure(failure);
    return failure;
}

void SerialPort::receive() {
    m_commEvent = kCommEventReceive;
    Q_EMIT onComm();
}

void SerialPort::handleError(QSerialPort::SerialPortError error) {
    if (!isLoss(error) || !m_port.isOpen())
        return;
    m_failure = {kPortDeviceLost, m_device, m_port.errorString(), {}};
    // The error comes from inside QSerialPort's own notification; closing it there is not safe.
    QMetaObject::invokeMethod(
        this, [this, generation = m_generation] { dropLostDevice(generation); }, Qt::QueuedConnection);
}

void SerialPort::dropLostDevice(quint64 generation) {
    if (generation != m_generation || !m_port.isOpen())
        return;
    m_port.close();
    m_port.clearError();
    m_commEvent = kCommEventLost;
    Q_EMIT onComm();
}

} // namespace qt2xx
