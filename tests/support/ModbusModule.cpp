#include "support/ModbusModule.h"

#include <QHostAddress>
#include <QModbusDataUnitMap>
#include <QTcpServer>
#include <QTcpSocket>

namespace qt2xx::test {

ModbusModule::ModbusModule(int unitId) : m_unitId(unitId) {}

ModbusModule::~ModbusModule() {
    stop();
}

bool ModbusModule::start() {
    if (m_port == 0) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return false;
        m_port = probe.serverPort();
    }
    m_server = std::make_unique<QModbusTcpServer>();
    m_server->setServerAddress(m_unitId);
    m_server->setMap(QModbusDataUnitMap{
        {QModbusDataUnit::Coils, QModbusDataUnit(QModbusDataUnit::Coils, 0, kCoils)},
        {QModbusDataUnit::DiscreteInputs, QModbusDataUnit(QModbusDataUnit::DiscreteInputs, 0, kInputs)}});
    m_server->setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    m_server->setConnectionParameter(QModbusDevice::NetworkPortParameter, m_port);
    m_coilsWritten = 0;
    QObject::connect(m_server.get(), &QModbusServer::dataWritten, m_server.get(),
                     [this](QModbusDataUnit::RegisterType table, int, int size) {
                         if (table == QModbusDataUnit::Coils)
                             m_coilsWritten += size;
                     });
    if (!m_server->connectDevice()) {
        m_server.reset();
        return false;
    }
    return true;
}

void ModbusModule::stop() {
    if (!m_server)
        return;
    m_server->disconnectDevice();
    // The server frees what it keeps for a connection when the connection's socket is destroyed, but
    // only while the server itself lives: a socket left to go with the server leaks it.
    for (QTcpSocket* socket : m_server->findChildren<QTcpSocket*>())
        delete socket;
    m_server.reset();
}

QString ModbusModule::address() const {
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_port);
}

bool ModbusModule::coil(quint16 address) const {
    quint16 value = 0;
    return m_server && m_server->data(QModbusDataUnit::Coils, address, &value) && value != 0;
}

void ModbusModule::setInput(quint16 address, bool on) {
    if (m_server)
        m_server->setData(QModbusDataUnit::DiscreteInputs, address, on ? 1 : 0);
}

} // namespace qt2xx::test
