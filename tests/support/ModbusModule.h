#pragma once

#include <QModbusTcpServer>
#include <QString>

#include <memory>

namespace qt2xx::test {

// A fixture's I/O module on 127.0.0.1: Qt's own Modbus TCP server with a table of coils and discrete
// inputs. stop() takes it off the network as a module that lost power; start() again brings up a fresh
// one on the same port, with every coil off, as a module that restarted.
class ModbusModule {
public:
    static constexpr quint16 kCoils = 64;
    static constexpr quint16 kInputs = 16;

    explicit ModbusModule(int unitId = 1);
    ~ModbusModule();
    ModbusModule(const ModbusModule&) = delete;
    ModbusModule& operator=(const ModbusModule&) = delete;

    // False when no server could listen; the first start takes a free port.
    bool start();
    void stop();
    bool running() const { return m_server != nullptr; }

    int port() const { return m_port; }
    QString address() const; // for the fixture file's "modbus"
    bool coil(quint16 address) const;
    void setInput(quint16 address, bool on);
    // Coils written by clients since the last start, counting each coil of a request.
    int coilsWritten() const { return m_coilsWritten; }

private:
    int m_unitId;
    int m_port = 0;
    std::unique_ptr<QModbusTcpServer> m_server;
    int m_coilsWritten = 0;
};

} // namespace qt2xx::test
