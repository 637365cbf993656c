#include "record/RunRecorder.h"
#include "station/WorkOrder.h"
#include "support/BuildPaths.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;

namespace {

const QString kWorkedExampleFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");

} // namespace

// The order file sits in the temporary folder; its set lies below it, in sets/.
class TestWorkOrder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsAnOrderWithItsSet();
    void refuses_data();
    void refuses();

private:
    QString writeOrder(const QByteArray& json) const;
    // An order with every key, released for the worked example, with the text from replaced by to.
    QByteArray order(const QByteArray& from = {}, const QByteArray& to = {}) const;

    QTemporaryDir m_dir;
    QString m_setPath;
    QString m_sha256;
};

void TestWorkOrder::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sets")));
    m_setPath = m_dir.filePath(QStringLiteral("sets/qt2c.asv"));
    QVERIFY(QFile::copy(kWorkedExampleFile, m_setPath));
    m_sha256 = ParameterSetSha256(ReadSetFile(m_setPath).values);
    QCOMPARE(m_sha256.size(), 64);
}

namespace {
const QByteArray kOrderEnd = R"("})";
} // namespace

QString TestWorkOrder::writeOrder(const QByteArray& json) const {
    return test::WriteFile(m_dir.filePath(QStringLiteral("order.json")), json);
}

QByteArray TestWorkOrder::order(const QByteArray& from, const QByteArray& to) const {
    QByteArray json = R"({"order": "WO-2026-0142", "product": "QT2C 48 V 350 W", "set": "sets/qt2c.asv",
        "set_sha256": "SHA", "quantity": 500, "serial_pattern": "^QT2C-[0-9]{8}$"})";
    json.replace("SHA", m_sha256.toUpper().toUtf8()); // the hash is compared whatever its case
    if (!from.isEmpty())
        json.replace(from, to);
    return json;
}

void TestWorkOrder::readsAnOrderWithItsSet() {
    const WorkOrderFile file = ReadWorkOrder(writeOrder(order()));
    QVERIFY2(file.ready(), qPrintable(file.problem));
    const WorkOrder& o = file.order;
    QCOMPARE(o.orderId, QStringLiteral("WO-2026-0142"));
    QCOMPARE(o.product, QStringLiteral("QT2C 48 V 350 W"));
    QCOMPARE(o.setPath, QFileInfo(m_setPath).absoluteFilePath());
    QCOMPARE(o.setSha256, m_sha256);
    QCOMPARE(o.quantity, 500);
    QCOMPARE(o.offline, OfflineRule::Stop); // the plant's rules hold unless the order says otherwise
    QCOMPARE(ReadWorkOrder(writeOrder(order(kOrderEnd, R"(", "offline": "local"})"))).order.offline,
             OfflineRule::Local);
    QVERIFY(o.wantsSerials());
    QVERIFY(o.matchesSerial(QStringLiteral("QT2C-00000001")));
    QVERIFY(!o.matchesSerial(QStringLiteral("xQT2C-00000001"))); // matched whole, not searched
    QVERIFY(!o.matchesSerial(QStringLiteral("QT2C-000000012")));
}

void TestWorkOrder::refuses_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("reasons"); // each appears in the one line

    const QByteArray kQuantity = R"("quantity": 500)";
    QTest::newRow("unknown key") << order(R"("quantity")", R"("colour": "red", "quantity")")
                                 << QStringList{"unknown key \"colour\""};
    QTest::newRow("order not a string")
        << order(R"("WO-2026-0142")", "142") << QStringList{"\"order\"", "string"};
    QTest::newRow("product not a string")
        << order(R"("QT2C 48 V 350 W")", "null") << QStringList{"\"product\""};
    QTest::newRow("set not a string") << order(R"("sets/qt2c.asv")", "[]") << QStringList{"\"set\""};
    QTest::newRow("hash not hex") << order(R"("set_sha256": ")", R"("set_sha256": "zz)")
                                  << QStringList{"\"set_sha256\"", "64 hexadecimal"};
    QTest::newRow("quantity as text")
        << order(kQuantity, R"("quantity": "500")") << QStringList{"\"quantity\""};
    QTest::newRow("quantity 0") << order(kQuantity, R"("quantity": 0)")
                                << QStringList{"\"quantity\"", "at least 1"};
    QTest::newRow("pattern not a string")
        << order(R"("^QT2C-[0-9]{8}$")", "true") << QStringList{"\"serial_pattern\""};
    QTest::newRow("pattern does not compile") << order(R"("^QT2C-[0-9]{8}$")", R"("^QT2C-[0-9")")
                                              << QStringList{"\"serial_pattern\"", "does not compile"};
    QTest::newRow("offline rule unknown")
        << order(kQuantity, R"("quantity": 500, "offline": "pause")") << QStringList{"\"offline\"", "pause"};
    QTest::newRow("missing key") << order(R"("quantity": 500,)", "")
                                 << QStringList{"missing key \"quantity\""};
    QTest::newRow("missing set file") << order("sets/qt2c.asv", "sets/gone.asv") << QStringList{"gone.asv"};
    QTest::newRow("bad JSON") << order().chopped(1) << QStringList{"not valid JSON"};
    const QByteArray otherHash(64, 'a');
    QTest::newRow("wrong hash") << order(m_sha256.toUpper().toUtf8(), otherHash)
                                << QStringList{m_sha256, QString::fromLatin1(otherHash), "qt2c.asv"};
}

void TestWorkOrder::refuses() {
    QFETCH(QByteArray, json);
    QFETCH(QStringList, reasons);
    const WorkOrderFile file = ReadWorkOrder(writeOrder(json));
    QVERIFY(!file.ready());
    QVERIFY2(!file.problem.contains(QLatin1Char('\n')), qPrintable(file.problem));
    for (const QString& reason : reasons)
        QVERIFY2(file.problem.contains(reason), qPrintable(file.problem));
}

QTEST_GUILESS_MAIN(TestWorkOrder)
#include "tst_workorder.moc"
