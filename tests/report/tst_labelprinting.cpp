// A label per finished unit reaches a printer on a local socket, oldest first and once, also when
// the printer is away for the first half of the run; failures get none; a reprint is logged.

#include "record/LabelQueue.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "report/LabelPrinter.h"
#include "report/LabelRig.h"
#include "support/RecordSample.h"
#include "support/ResultCheck.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;
using namespace std::chrono_literals;

namespace {

const QString kOrder = QStringLiteral("WO-7734");
// A product name that would end the field and start commands if it were not escaped.
const QString kProduct = QStringLiteral("Drive ^FS^XZ~JR 48 V_");
const QString kOperator = QStringLiteral("Müller");
const QString kStation = QStringLiteral("bench-3");

// Unit n of the order: serial SN-000n, the given outcome.
ProductionRecord unitRecord(const QString& runId, int n, Outcome result) {
    ProductionRecord record = MakeRecord(runId, n, result);
    record.orderId = kOrder;
    record.unitSerial = QStringLiteral("SN-%1").arg(n, 4, 10, QLatin1Char('0'));
    record.operatorId = kOperator;
    record.station = kStation;
    record.parameterSha256 = QStringLiteral("0123456789abcdef").repeated(4);
    return record;
}

// Which units fail: the third of each half, and the fifth's first attempt (then it finishes).
struct Attempt {
    int unit;
    Outcome result;
};
const Attempt kFirstHalf[] = {{1, Outcome::Finished}, {2, Outcome::Finished},        {3, Outcome::NoResponse},
                              {4, Outcome::Finished}, {5, Outcome::TransmitFailure}, {5, Outcome::Finished}};
const Attempt kSecondHalf[] = {{6, Outcome::Finished},
                               {7, Outcome::Finished},
                               {8, Outcome::StorageFailure},
                               {9, Outcome::Finished},
                               {10, Outcome::Finished}};

} // namespace

class LabelPrintingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oncePerFinishedUnitAcrossAnOutage();
};

void LabelPrintingTest::oncePerFinishedUnitAcrossAnOutage() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    const quint16 port = FreePort();
    const Result<LabelAddress> address = ParseLabelAddress(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
    QVERIFY2(address, qPrintable(address.error()));

    std::unique_ptr<RecordStore> store = Checked(RecordStore::open(database));
    QVERIFY(store);
    QT2XX_VERIFY_OK(
        store->noteOrder({kOrder, kProduct, QString(64, u'0'), 10, QDateTime::currentDateTimeUtc()}));

    RecordWriter writer(database, 20ms);
    writer.setLabelPrinter(address->text);
    LabelPrinter printer(database, *address, LabelTemplate::standard(), {20ms, 200ms, 50ms, 2000ms});
    connect(&writer, &RecordWriter::committed, &printer, &LabelPrinter::nudge);
    QSignalSpy waiting(&printer, &LabelPrinter::labelWaiting);
    QSignalSpy printed(&printer, &LabelPrinter::labelPrinted);

    const RunInfo run = MakeRun();
    writer.beginRun(run);
    QStringList finishedSerials;
    QStringList finishedIds;
    auto program = [&](std::span<const Attempt> attempts) {
        for (const Attempt& attempt : attempts) {
            const ProductionRecord record = unitRecord(run.runId, attempt.unit, attempt.result);
            writer.submit(record);
            if (attempt.result == Outcome::Finished) {
                finishedSerials << record.unitSerial;
                finishedIds << record.recordId;
            }
        }
        QVERIFY(writer.flush(5s));
    };

    // The printer is away: programming goes on, the labels wait and the face hears how many.
    program(kFirstHalf);
    const qint64 firstHalf = finishedSerials.size();
    QTRY_VERIFY_WITH_TIMEOUT(!waiting.isEmpty() && waiting.last().at(0).toLongLong() == firstHalf, 10000);
    QVERIFY(waiting.last().at(1).toString().contains(QString::number(port)));
    QVERIFY(printed.isEmpty());

    // It answers: what waited goes, oldest first, then the rest as it is programmed.
    ZplPrinter zpl;
    QVERIFY(zpl.listen(port));
    program(kSecondHalf);
    QTRY_COMPARE_WITH_TIMEOUT(printed.size(), finishedSerials.size(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(zpl.labels().size(), finishedSerials.size(), 5000);
    QCOMPARE(printed.last().at(2).toLongLong(), 0);
    QTest::qWait(300); // several polls of an empty queue: nothing is sent again

    const QList<QByteArray> labels = zpl.labels();
    QCOMPARE(labels.size(), finishedSerials.size());
    QCOMPARE(zpl.jobs().size(), finishedSerials.size());
    const QList<QByteArray> standardCommands = CommandNames(
        LabelTemplate::standard().render(LabelFields{QStringLiteral("S"), {}, {}, {}, {}, {}, {}}));
    for (int i = 0; i < labels.size(); ++i) {
        const QString serial = finishedSerials[i];
        QCOMPARE(CommandNames(labels[i]), standardCommands);
        const QStringList fields = FieldTexts(labels[i]);
        QCOMPARE(fields.value(0), serial); // the DataMatrix
        QCOMPARE(fields.value(1), serial);
        QCOMPARE(fields.value(2), kProduct);
        QCOMPARE(fields.value(3), QStringLiteral("Order ") + kOrder);
        QCOMPARE(fields.value(4), QStringLiteral("Set 0123456789ab"));
        QVERIFY(fields.value(5).startsWith(QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate)));
        QCOMPARE(fields.value(6), QStringLiteral("Station ") + kStation);
        QCOMPARE(fields.value(7), QStringLiteral("Operator ") + kOperator);
    }

    // Every print is logged once, with where and who; nothing is left to send.
    LabelQueue queue(store->database());
    for (const QString& id : finishedIds) {
        const Result<std::vector<LabelPrint>> prints = queue.prints(id);
        QVERIFY2(prints, qPrintable(prints.error()));
        QCOMPARE(prints->size(), size_t(1));
        QCOMPARE(prints->front().printer, address->text);
        QCOMPARE(prints->front().operatorId, kOperator);
        QCOMPARE(prints->front().station, kStation);
        QVERIFY(!prints->front().reprint);
    }
    for (LabelState state : {LabelState::Waiting, LabelState::Sending})
        QCOMPARE(*queue.count(address->text, state), 0);
    QCOMPARE(*queue.count(address->text, LabelState::Printed), finishedSerials.size());

    // A reprint goes by the same path and is logged as one, with who asked for it; a unit that
    // never finished has no label to print again.
    const Done again =
        PrintLabelAgain(*store, QStringLiteral("SN-0005"), kOrder, *address, LabelTemplate::standard(),
                        QStringLiteral("lead"), QStringLiteral("desk"));
    QVERIFY2(again, qPrintable(again.error()));
    QTRY_COMPARE(zpl.labels().size(), finishedSerials.size() + 1);
    QCOMPARE(FieldTexts(zpl.labels().last()).value(0), QStringLiteral("SN-0005"));
    const std::vector<LabelPrint> reprinted = *queue.prints(finishedIds[finishedSerials.indexOf(u"SN-0005")]);
    QCOMPARE(reprinted.size(), size_t(2));
    QVERIFY(reprinted.back().reprint);
    QCOMPARE(reprinted.back().operatorId, QStringLiteral("lead"));
    QCOMPARE(reprinted.back().station, QStringLiteral("desk"));
    QVERIFY(
        !PrintLabelAgain(*store, QStringLiteral("SN-0003"), {}, *address, LabelTemplate::standard(), {}, {}));
    QCOMPARE(zpl.labels().size(), finishedSerials.size() + 1);
}

QTEST_MAIN(LabelPrintingTest)
#include "tst_labelprinting.moc"
