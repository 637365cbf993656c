#include "station/FixtureFile.h"
#include "support/BuildPaths.h"
#include "support/Files.h"

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
    void reads();
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
    return test::WriteFile(m_dir.filePath(QStringLiteral("fixture.json")), json);
}

void TestFixtureFile::reads() {
    Result<Fixture> read = ReadFixtureFile(write(fixture()), kPorts);
    QVERIFY2(read.ok(), qPrintable(read.error()));
    QCOMPARE(read->modbus.host, QStringLiteral("10.0.8.21"));
    QCOMPARE(read->modbus.port, 502);
    QCOMPARE(read->slots.size(), 2u);
    QCOMPARE(read->slots[1].fail, ModbusBit(5));
    QCOMPARE(read->slots[1].present, ModbusBit(1));
    QCOMPARE(read->coils(), (std::vector<quint16>{0, 1, 2, 3, 4, 5, 48, 49, 50, 51}));

    // Only "modbus" and "slots" are needed, a slot may have some lamps or none, and a serial line
    // takes the protocol's defaults unless told otherwise.
    read = ReadFixtureFile(
        write(R"({"modbus": "rtu:/dev/ttyUSB9", "slots": [{"busy": 7}, {}, {"pass": 65535}]})"), kPorts);
    QVERIFY2(read.ok(), qPrintable(read.error()));
    QCOMPARE(read->unitId, 1);
    QCOMPARE(read->modbus.device, QStringLiteral("/dev/ttyUSB9"));
    QCOMPARE(read->modbus.baud, 19200);
    QCOMPARE(read->modbus.parity, QSerialPort::EvenParity);
    QCOMPARE(read->coils(), (std::vector<quint16>{7, 65535}));
    const Result<ModbusAddress> rtu =
        ReadModbusAddress(QStringLiteral("rtu:/dev/ttyUSB9?baud=9600&parity=n&stop=2"));
    QVERIFY2(rtu.ok(), qPrintable(rtu.error()));
    QCOMPARE(rtu->baud, 9600);
    QCOMPARE(rtu->parity, QSerialPort::NoParity);
    QCOMPARE(rtu->stopBits, QSerialPort::TwoStop);

    // The README's example: a 16-channel module, every output used.
    read = ReadFixtureFile(test::SourcePath(u"docs/fixture-example.json"), kPorts);
    QVERIFY2(read.ok(), qPrintable(read.error()));
    QCOMPARE(read->coils().size(), 16u);
}

void TestFixtureFile::refuses_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("ports");
    QTest::addColumn<QStringList>("reasons"); // each appears in the one line

    QTest::newRow("unknown key") << fixture(R"("unit_id")", R"("colour": 1, "unit_id")") << kPorts
                                 << QStringList{"unknown key \"colour\""};
    QTest::newRow("unknown slot key") << fixture(R"("present": 1)", R"("present": 1, "lamp": 9)") << kPorts
                                      << QStringList{"slot 2", "unknown key \"lamp\""};
    QTest::newRow("missing slots") << QByteArray(R"({"modbus": "tcp://io"})") << kPorts
                                   << QStringList{"missing key \"slots\""};
    QTest::newRow("address as text") << fixture(R"("pass": 4)", R"("pass": "4")") << kPorts
                                     << QStringList{"slot 2", "\"pass\"", "0 to 65535"};
    QTest::newRow("address out of range") << fixture(R"("red": 50)", R"("red": 65536)") << kPorts
                                          << QStringList{"\"stack_light\"", "\"red\"", "0 to 65535"};
    QTest::newRow("more slots than ports")
        << fixture() << 1 << QStringList{"\"slots\" names 2 slots but only 1 port"};
    QTest::newRow("coil twice") << fixture(R"("amber": 49)", R"("amber": 4)") << kPorts
                                << QStringList{"coil 4", "slot 2 \"pass\"", "\"stack_light\" \"amber\""};
    QTest::newRow("unit 0 is broadcast")
        << fixture(R"("unit_id": 1)", R"("unit_id": 0)") << kPorts << QStringList{"\"unit_id\"", "1 to 247"};
    QTest::newRow("unit 248") << fixture(R"("unit_id": 1)", R"("unit_id": 248)") << kPorts
                              << QStringList{"\"unit_id\"", "1 to 247"};
    const QByteArray kModbus = "tcp://10.0.8.21:502";
    QTest::newRow("modbus not a string")
        << fixture('"' + kModbus + '"', "502") << kPorts << QStringList{"\"modbus\"", "string"};
    QTest::newRow("modbus scheme") << fixture(kModbus, "udp://io:502") << kPorts
                                   << QStringList{"\"modbus\"", "udp://io:502", "tcp://", "rtu:"};
    QTest::newRow("tcp no host") << fixture(kModbus, "tcp://:502") << kPorts
                                 << QStringList{"\"modbus\"", "no host"};
    QTest::newRow("rtu bad parity") << fixture(kModbus, "rtu:/dev/ttyUSB9?parity=X") << kPorts
                                    << QStringList{"\"modbus\"", "parity must be N, E or O"};
    QTest::newRow("rtu unknown setting")
        << fixture(kModbus, "rtu:/dev/ttyUSB9?data=7") << kPorts << QStringList{"unknown setting \"data\""};
    QTest::newRow("bad JSON") << fixture().chopped(1) << kPorts << QStringList{"not valid JSON"};
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
