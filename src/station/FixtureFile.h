#pragma once

#include "platform/core/Result.h"

#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace qt2xx {

// Where the fixture's I/O module listens: "tcp://HOST[:PORT]" on the plant network (port 502 unless
// given), or "rtu:DEVICE[?baud=N&parity=N|E|O&stop=1|2]" over a serial adapter. A serial line
// defaults to 19200 baud, even parity and one stop bit, the protocol's own default for a device
// fresh from the box; RTU frames always carry 8 data bits.
struct ModbusAddress {
    enum class Transport { Tcp, Rtu };

    Transport transport = Transport::Tcp;
    QString text; // as written, for messages
    QString host; // Tcp
    quint16 port = 502;
    QString device; // Rtu
    qint32 baud = 19200;
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// What the module's addresses are: the protocol's, counted from 0.
using ModbusBit = std::optional<quint16>; // none when the fixture has no such lamp or contact

// One slot's lamps (coils) and its unit-present contact (a discrete input).
struct FixtureSlot {
    ModbusBit busy;
    ModbusBit pass;
    ModbusBit fail;
    ModbusBit present;
};

// The fixture's stack light and buzzer (coils).
struct FixtureStack {
    ModbusBit green;
    ModbusBit amber;
    ModbusBit red;
    ModbusBit buzzer;
};

// A fixture's signals: the module that drives and reads them, and per slot, in the order of the
// ports, which of its coils and inputs belong to that slot.
struct Fixture {
    static constexpr int kBroadcast = 0;
    static constexpr int kHighestUnitId = 247;

    ModbusAddress modbus;
    int unitId = 1;
    std::vector<FixtureSlot> slots; // slots[0] belongs to the first port
    FixtureStack stack;

    // Every coil the fixture drives, each once.
    std::vector<quint16> coils() const;
};

// Reads "tcp://..." or "rtu:..."; the reason names what is wrong.
Result<ModbusAddress> ReadModbusAddress(const QString& text);

// Reads a fixture file for a station of portCount ports. An unknown key, a value of the wrong type,
// an address out of range, one coil or input given twice, or more slots than ports is refused with
// one line that names it.
Result<Fixture> ReadFixtureFile(const QString& path, int portCount);

} // namespace qt2xx
