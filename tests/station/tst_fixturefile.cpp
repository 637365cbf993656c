#include "station/FixtureFile.h"
#include "support/BuildPaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;

namespace {

constexpr int kPorts = 4;

// A fixture of two slots with every key, with the text from replaced by to.
QByteArray fixture(const QByteArray& from = {}, const QByteArray& to = {});

} // namespace

class TestFixtureFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void readsAFixture();
    void readsTheExample();
    void readsModbusAddresses_data();
    void readsModbusAddresses();
    void refuses_data();
    void refuses();

private:
    QString write(const QByteArray& json) const;

    QTemporaryDir m_dir;
};

namespace {

// Defined below the test class: moc misreads the raw string above a class and would skip it.
QByteArray fixture(const QByteArray& from, const QByteArray& to) {
    QByteArray json = R"({"modbus": "tcp://10.0.8.21:502", "unit_id": 1,
        "slots": [{"busy": 0, "pass": 1, "fail": 2, "present": 0}, {"busy": 3, "pass": 4, "fail": 5, "present": 1}],
        "stack_light": {"green": 48, "amber": 49, "red": 50, "buzzer": 51}})";
    if (!from.isEmpty())
        json.replace(from, to);
    return json;
}

} // namespace

QString TestFixtureFile::write(const QByteArray& json) const {
    const QString path = m_dir.filePath(QStringLiteral("fixture.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(json);
    return path;
}

void TestFixtureFile::readsAFixture() {
    Result<Fixture> read = ReadFixtureFile(write(fixture()), kPorts);
    QVERIFY2(read.ok(), qPrintable(read.error()));
    const Fixture& f = *read;
    QCOMPARE(f.modbus.transport, ModbusAddress::Transport::Tcp);
    QCOMPARE(f.modbus.host, QStringLiteral("10.0.8.21"));
    QCOMPARE(f.modbus.port, 502);
    QCOMPARE(f.unitId, 1);
    QCOMPARE(f.slots.size(), 2u);
    QCOMPARE(f.slots[1].busy, ModbusBit(3));
    QCOMPARE(f.slots[1].pass, ModbusBit(4));
    QCOMPARE(f.slots[1].fail, ModbusBit(5));
    QCOMPARE(f.slots[1].present, ModbusBit(1));
    QCOMPARE(f.stack.buzzer, ModbusBit(51));
    QCOMPARE(f.coils(), (std::vector<quint16>{0, 1, 2, 3, 4, 5, 48, 49, 50, 51}));

    // Only "modbus" and "slots" are needed; a slot may have some lamps only, or none.
    read = ReadFixtureFile(write(R"({"modbus": "tcp://io", "slots": [{"busy": 7}, {}, {"pass": 65535}]})"),
                           kPorts);
    QVERIFY2(read.ok(), qPrintable(read.error()));
    QCOMPARE(read->unitId, 1);
    QCOMPARE(read->slots.size(), 3u);
    QCOMPARE(read->slots[0].pass, ModbusBit());
    QCOMPARE(read->slots[2].pass, ModbusBit(65535));
    QCOMPARE(read->stack.red, ModbusBit());
    QCOMPARE(read->coils(), (std::vector<quint16>{7, 65535}));
}

void TestFixtureFile::readsTheExample() {
    Result<Fixture> read = ReadFixtureFile(test::SourcePath(u"docs/fixture-example.json"), kPorts);
    QVERIFY2(read.ok(), qPrintable(read.error()));
    QCOMPARE(read->coils().size(), 16u); // a 16-channel output module, every channel used
    QCOMPARE(read->slots.size(), std::size_t(kPorts));
}

void TestFixtureFile::readsModbusAddresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("where"); // host:port or device
    QTest::addColumn<int>("baud");
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<QSerialPort::StopBits>("stop");

    const auto E = QSerialPort::EvenParity;
    QTest::newRow("tcp with port") << "tcp://10.0.8.21:5020"
                                   << "10.0.8.21:5020" << 0 << E << QSerialPort::OneStop;
    QTest::newRow("tcp default port") << "tcp://io-7.plant"
                                      << "io-7.plant:502" << 0 << E << QSerialPort::OneStop;
    QTest::newRow("tcp IPv6") << "tcp://[fd00::21]:502"
                              << "fd00::21:502" << 0 << E << QSerialPort::OneStop;
    QTest::newRow("rtu defaults") << "rtu:/dev/ttyUSB9"
                                  << "/dev/ttyUSB9" << 19200 << E << QSerialPort::OneStop;
    QTest::newRow("rtu settings") << "rtu:/dev/ttyUSB9?baud=9600&parity=n&stop=2"
                                  << "/dev/ttyUSB9" << 9600 << QSerialPort::NoParity << QSerialPort::TwoStop;
    QTest::newRow("rtu odd") << "rtu:/dev/serial/by-id/usb-io?parity=O"
                             << "/dev/serial/by-id/usb-io" << 19200 << QSerialPort::OddParity
                             << QSerialPort::OneStop;
}

void TestFixtureFile::readsModbusAddresses() {
    QFETCH(QString, text);
    QFETCH(QString, where);
    QFETCH(int, baud);
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(QSerialPort::StopBits, stop);
    const Result<ModbusAddress> address = ReadModbusAddress(text);
    QVERIFY2(address.ok(), qPrintable(address.error()));
    QCOMPARE(address->text, text);
    if (baud == 0) {
        QCOMPARE(address->transport, ModbusAddress::Transport::Tcp);
        QCOMPARE(address->host + QLatin1Char(':') + QString::number(address->port), where);
        return;
    }
    QCOMPARE(address->transport, ModbusAddress::Transport::Rtu);
    QCOMPARE(address->device, where);
    QCOMPARE(address->baud, baud);
    QCOMPARE(address->parity, parity);
    QCOMPARE(address->stopBits, stop);
}

void TestFixtureFile::refuses_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("ports");
    QTest::addColumn<QStringList>("reasons"); // each appears in the one line

    const QByteArray kSlot2 = R"({"busy": 3, "pass": 4, "fail": 5, "present": 1})";
    QTest::newRow("unknown key") << fixture(R"("unit_id")", R"("colour": 1, "unit_id")") << kPorts
                                 << QStringList{"unknown key \"colour\""};
    QTest::newRow("unknown slot key") << fixture(R"("present": 1)", R"("present": 1, "lamp": 9)") << kPorts
                                      << QStringList{"slot 2", "unknown key \"lamp\""};
    QTest::newRow("unknown stack key") << fixture(R"("buzzer")", R"("blue")") << kPorts
                                       << QStringList{"\"stack_light\"", "unknown key \"blue\""};
    QTest::newRow("missing slots") << QByteArray(R"({"modbus": "tcp://io"})") << kPorts
                                   << QStringList{"missing key \"slots\""};
    QTest::newRow("missing modbus") << QByteArray(R"({"slots": []})") << kPorts
                                    << QStringList{"missing key \"modbus\""};
    QTest::newRow("modbus not a string")
        << fixture(R"("tcp://10.0.8.21:502")", "502") << kPorts << QStringList{"\"modbus\"", "string"};
    QTest::newRow("address as text") << fixture(R"("pass": 4)", R"("pass": "4")") << kPorts
                                     << QStringList{"slot 2", "\"pass\"", "0 to 65535"};
    QTest::newRow("address fractional")
        << fixture(R"("red": 50)", R"("red": 50.5)") << kPorts << QStringList{"\"stack_light\"", "\"red\""};
    QTest::newRow("address negative")
        << fixture(R"("busy": 0)", R"("busy": -1)") << kPorts << QStringList{"slot 1", "\"busy\""};
    QTest::newRow("address out of range") << fixture(R"("present": 1)", R"("present": 65536)") << kPorts
                                          << QStringList{"slot 2", "\"present\"", "0 to 65535"};
    QTest::newRow("slot not an object") << fixture(kSlot2, "3") << kPorts << QStringList{"slot 2", "object"};
    QTest::newRow("slots not an array") << QByteArray(R"({"modbus": "tcp://io", "slots": {}})") << kPorts
                                        << QStringList{"\"slots\"", "array"};
    QTest::newRow("more slots than ports")
        << fixture() << 1 << QStringList{"\"slots\" names 2 slots but only 1 port"};
    QTest::newRow("coil twice") << fixture(R"("amber": 49)", R"("amber": 4)") << kPorts
                                << QStringList{"coil 4", "slot 2 \"pass\"", "\"stack_light\" \"amber\""};
    QTest::newRow("contact twice") << fixture(R"("present": 1)", R"("present": 0)") << kPorts
                                   << QStringList{"input 0", "slot 1 \"present\"", "slot 2 \"present\""};
    QTest::newRow("unit 0 is broadcast")
        << fixture(R"("unit_id": 1)", R"("unit_id": 0)") << kPorts << QStringList{"\"unit_id\"", "1 to 247"};
    QTest::newRow("unit 248") << fixture(R"("unit_id": 1)", R"("unit_id": 248)") << kPorts
                              << QStringList{"\"unit_id\"", "1 to 247"};
    QTest::newRow("unit as text") << fixture(R"("unit_id": 1)", R"("unit_id": "1")") << kPorts
                                  << QStringList{"\"unit_id\""};
    const QByteArray kModbus = "tcp://10.0.8.21:502";
    QTest::newRow("modbus scheme") << fixture(kModbus, "udp://io:502") << kPorts
                                   << QStringList{"\"modbus\"", "udp://io:502", "tcp://", "rtu:"};
    QTest::newRow("tcp no host") << fixture(kModbus, "tcp://:502") << kPorts
                                 << QStringList{"\"modbus\"", "no host"};
    QTest::newRow("tcp bad port") << fixture(kModbus, "tcp://io:70000") << kPorts
                                  << QStringList{"\"modbus\""};
    QTest::newRow("tcp with path") << fixture(kModbus, "tcp://io:502/coils") << kPorts
                                   << QStringList{"\"modbus\"", "host and a port only"};
    QTest::newRow("rtu no device") << fixture(kModbus, "rtu:?baud=9600") << kPorts
                                   << QStringList{"\"modbus\"", "no serial device"};
    QTest::newRow("rtu bad baud") << fixture(kModbus, "rtu:/dev/ttyUSB9?baud=fast") << kPorts
                                  << QStringList{"\"modbus\"", "baud"};
    QTest::newRow("rtu bad parity") << fixture(kModbus, "rtu:/dev/ttyUSB9?parity=X") << kPorts
                                    << QStringList{"parity must be N, E or O"};
    QTest::newRow("rtu bad stop") << fixture(kModbus, "rtu:/dev/ttyUSB9?stop=3") << kPorts
                                  << QStringList{"stop must be 1 or 2"};
    QTest::newRow("rtu unknown setting")
        << fixture(kModbus, "rtu:/dev/ttyUSB9?data=7") << kPorts << QStringList{"unknown setting \"data\""};
    QTest::newRow("bad JSON") << fixture().chopped(1) << kPorts << QStringList{"not valid JSON"};
    QTest::newRow("not an object") << QByteArray("[]") << kPorts << QStringList{"not a JSON object"};
}

void TestFixtureFile::refuses() {
    QFETCH(QByteArray, json);
    QFETCH(int, ports);
    QFETCH(QStringList, reasons);
    const Result<Fixture> read = ReadFixtureFile(write(json), ports);
    QVERIFY(!read.ok());
    QVERIFY2(!read.error().contains(QLatin1Char('\n')), qPrintable(read.error()));
    for (const QString& reason : reasons)
        QVERIFY2(read.error().contains(reason), qPrintable(read.error()));
}

QTEST_GUILESS_MAIN(TestFixtureFile)
#include "tst_fixturefile.moc"
