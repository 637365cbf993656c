#pragma once

#include "platform/core/PortErrors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <cstdint>

namespace qt2xx {

// Codes of the port's event, read through commEvent() when onComm() is emitted.
enum CommEventCode : int {
    kCommEventNone = 0,
    kCommEventReceive = 2, // data has arrived: one event for every arrival, however short
    kCommEventLost = 1100, // the device vanished or failed while open; the port has closed itself
};

// Why the last open or write failed, for the operator.
struct PortFailure {
    PortError code = kPortOk;
    QString device; // the device that was tried; empty when the port number names none
    QString reason; // the system's reason
    QString remedy; // what the operator can do about it, when there is something; else empty
    // The system refused this user access to the device: a matter of permissions, not of the device.
    bool accessRefused = false;
};

// The serial port as the port connection and the download sequencer use it. Line settings are fixed
// when the port is made; nothing here changes them. Events are delivered on the thread that owns
// the port.
class CommPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Selects the device the next open uses: a port number (a name for a device, resolved at each
    // open), or a device path opened as it stands. The last call wins.
    virtual void setCommPort(std::int16_t number) = 0;
    virtual void setDevicePath(const QString& path) = 0;

    // Opens the selected device; kPortOk or the error, with lastFailure() telling why.
    virtual PortError open() = 0;
    virtual void close() = 0;
    virtual bool isPortOpen() const = 0;

    // Sends all bytes in one write, in order and unchanged. False when the port is closed or the
    // write failed; lastFailure() tells why.
    virtual bool outputBytes(QByteArrayView bytes) = 0;
    // Sends the characters of the text as bytes: "8" goes out as 0x38.
    virtual bool outputText(const QString& text) = 0;

    // The bytes received and not yet read; they are removed from the receive buffer.
    virtual QByteArray input() = 0;

    // The code of the latest event.
    virtual int commEvent() const = 0;

    virtual PortFailure lastFailure() const = 0;

    // The device the latest successful open reached; empty before one.
    virtual QString openedDevice() const { return {}; }

Q_SIGNALS:
    void onComm();
};

} // namespace qt2xx
