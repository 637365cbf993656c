// A station session prints a label for every finished unit through a printer on a local socket that is
// away for the first half of the run: each label once, with its serial, none for a failure.
#include "LabelRig.h"

#include "platform/core/ExitStatus.h"
#include "record/LabelQueue.h"
#include "record/RecordStore.h"
#include "report/LabelSinks.h"
#include "station/Station.h"
#include "station/StationPort.h"
#include "station/StationSession.h"
#include "support/BuildPaths.h"
#include "support/OrderFile.h"
#include "support/ResultCheck.h"
#include "support/SimProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>
#include <vector>

using namespace qt2xx;
using qt2xx::test::SimProcess;
using qt2xx::test::ZplPrinter;

namespace {

constexpr int kWait = 30000;
constexpr int kQuantity = 8;
const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");
// Quick retries, so the test waits on the printer's return rather than on a back-off.
constexpr LabelPrinter::Timing kQuick{std::chrono::milliseconds(20), std::chrono::milliseconds(100),
                                      std::chrono::milliseconds(100), std::chrono::seconds(2)};
const QByteArray kOrderTemplate = "^XA^FO20,20^FH^FDSN {serial}^FS^FO20,60^FH^FD{order} {product}^FS^XZ\n";

// The order of the test, with its own label beside it under the order's "label" key.
QString writeOrder(const QTemporaryDir& dir) {
    const QString set = dir.filePath(QStringLiteral("qt2c.asv"));
    QFile::copy(kSetFile, set);
    const QString path = qt2xx::test::WriteOrderFile(set, kQuantity);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QJsonObject order = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    order.insert(QStringLiteral("label"), QStringLiteral("order-label.zpl"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QJsonDocument(order).toJson());
    QFile label(dir.filePath(QStringLiteral("order-label.zpl")));
    label.open(QIODevice::WriteOnly);
    label.write(kOrderTemplate);
    return path;
}

// QVERIFY2 reads its message whether or not the check fails.
QString refusalText(const StationSession& session) {
    return session.refusal() ? session.refusal()->text : QString();
}

QString serial(int n) {
    return QStringLiteral("QT2C-%1").arg(n, 8, 10, QLatin1Char('0'));
}

} // namespace

class TestLabelStation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void labelsOfARunSurviveThePrinterBeingAway();
    void refusedBeforeAnyPort_data();
    void refusedBeforeAnyPort();
};

void TestLabelStation::labelsOfARunSurviveThePrinterBeingAway() {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<SimProcess>> sims;
    SessionOptions options;
    options.orderFile = writeOrder(dir);
    options.recordPath = dir.filePath(QStringLiteral("records.sqlite"));
    options.operatorId = QStringLiteral("OP1");
    for (int i = 0; i < 4; ++i) {
        // Each programmed unit is taken out and the next put in, as at a fixture; the last slot fails
        // every second unit, which stays in its slot: a failure gets no label.
        QStringList simOptions{QStringLiteral("--swap"), QStringLiteral("5000")};
        if (i == 3)
            simOptions << QStringLiteral("--reject-frame") << QStringLiteral("--fail-every")
                       << QStringLiteral("2");
        sims.push_back(std::make_unique<SimProcess>(simOptions));
        options.ports << sims.back()->device();
    }
    const quint16 port = qt2xx::test::FreePort();
    options.labelPrinter = QStringLiteral("tcp://127.0.0.1:%1").arg(port);

    StationSession session;
    session.setLabelSinks(LabelPrinterSinks(kQuick));
    QSignalSpy printed(&session, &StationSession::labelPrinted);
    QSignalSpy waiting(&session, &StationSession::labelWaiting);
    QList<SessionNotice::Kind> notices;
    connect(&session, &StationSession::notice, this,
            [&notices](const SessionNotice& notice) { notices << notice.kind; });
    QVERIFY2(session.open(options), qPrintable(refusalText(session)));
    QVERIFY2(session.start(), qPrintable(refusalText(session)));

    // The printer comes once half the order's units have ended and a label has found it away; the
    // scans go on throughout.
    ZplPrinter printer;
    int next = 1;
    while (session.running()) {
        if (!printer.port() && !waiting.isEmpty() && session.finished() + session.failed() >= kQuantity / 2)
            QVERIFY(printer.listen(port));
        // A failed unit is tried again in its slot with its own serial; a new serial goes to a slot
        // that is ready for it.
        QString again;
        for (const auto& p : session.station()->ports()) {
            if (p->watching() && p->serial().isEmpty() && p->lastEnd() && !p->lastEnd()->finished)
                again = p->watchedSerial();
        }
        if (!again.isEmpty())
            session.run()->scan(again);
        else if (session.run()->wantsInput() && session.run()->nextSlot() != 0)
            session.run()->scan(serial(next++));
        QTest::qWait(10);
        QVERIFY2(next < 4 * kQuantity, "the order never completed");
    }
    QVERIFY2(printer.port(), "the printer was never found away"); // else it never came
    QVERIFY(waiting.first().at(0).toLongLong() > 0);
    session.finish();

    const auto store =
        qt2xx::test::Checked(RecordStore::open(options.recordPath, RecordStore::OpenMode::MustExist));
    QVERIFY(store);
    std::set<QString> finished;
    std::set<QString> failedOnly;
    for (const ProductionRecord& record : qt2xx::test::Checked(store->records({}))) {
        if (record.result == Outcome::Finished)
            finished.insert(record.unitSerial);
        else
            failedOnly.insert(record.unitSerial);
    }
    QCOMPARE(int(finished.size()), kQuantity);
    QVERIFY(session.failed() > 0);
    // A failed unit tried again and finished gets the one label of its finished record.
    for (const QString& unit : finished)
        failedOnly.erase(unit);

    // One label per finished unit, the order's own, none twice, none for a failure.
    QTRY_COMPARE_WITH_TIMEOUT(printer.labels().size(), qsizetype(kQuantity), kWait);
    std::set<QString> labelled;
    for (const QByteArray& label : printer.labels()) {
        const QStringList fields = qt2xx::test::FieldTexts(label);
        QCOMPARE(fields.size(), 2);
        QVERIFY(fields[0].startsWith(QStringLiteral("SN ")));
        QCOMPARE(fields[1], QStringLiteral("WO-7 QT2C 48 V 350 W"));
        QVERIFY2(labelled.insert(fields[0].mid(3)).second, qPrintable(fields[0] + " printed twice"));
    }
    QCOMPARE(labelled, finished);
    for (const QString& unit : failedOnly)
        QVERIFY2(!labelled.count(unit), qPrintable(unit + " failed and has a label"));

    // The session told each print, and the printer's stop and return once each.
    QCOMPARE(printed.count(), kQuantity);
    QCOMPARE(session.labels().printed, kQuantity);
    QCOMPARE(session.labels().waiting, 0);
    QVERIFY(!session.labels().stopped);
    QCOMPARE(notices.count(SessionNotice::Kind::LabelsStopped), 1);
    QCOMPARE(notices.count(SessionNotice::Kind::LabelsResumed), 1);
    QVERIFY(!notices.contains(SessionNotice::Kind::EndOfRun));
    QCOMPARE(session.labels().text(), QStringLiteral("labels: %1 printed").arg(kQuantity));

    // Every print is logged against its record, once.
    LabelQueue queue(store->database());
    for (const QList<QVariant>& signal : printed) {
        const auto prints = qt2xx::test::Checked(queue.prints(signal.at(0).toString()));
        QCOMPARE(prints.size(), size_t(1));
        QCOMPARE(prints[0].printer, options.labelPrinter);
        QVERIFY(!prints[0].reprint);
    }
    for (auto& sim : sims)
        sim->terminate();

    // A program killed while sending a label leaves it marked sending: the next start says so, once,
    // before its printer takes anything.
    QSqlQuery killed(store->database());
    QVERIFY(killed.exec(QStringLiteral("UPDATE label_jobs SET state = 'sending' WHERE job = (SELECT "
                                       "min(job) FROM label_jobs)")));
    QCOMPARE(killed.numRowsAffected(), 1);
    StationSession restarted;
    restarted.setLabelSinks(LabelPrinterSinks(kQuick));
    QStringList told;
    connect(&restarted, &StationSession::notice, this, [&told](const SessionNotice& notice) {
        if (notice.kind == SessionNotice::Kind::LabelsInDoubt)
            told << notice.text;
    });
    QVERIFY2(restarted.open(options), qPrintable(refusalText(restarted)));
    QCOMPARE(told.size(), 1);
    QVERIFY2(told[0].startsWith(QStringLiteral("1 label(s) were being sent")), qPrintable(told[0]));
}

void TestLabelStation::refusedBeforeAnyPort_data() {
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("labelTemplate");
    QTest::addColumn<bool>("record");
    QTest::addColumn<bool>("printsLabels");
    QTest::addColumn<QString>("said");

    QTest::newRow("address of no kind") << "ftp://printer"
                                        << "" << true << true << "ftp://printer";
    QTest::newRow("template missing") << "tcp://127.0.0.1:1"
                                      << "missing.zpl" << true << true << "missing.zpl";
    QTest::newRow("template that adds commands") << "tcp://127.0.0.1:1"
                                                 << "bad.zpl" << true << true << "bad.zpl";
    QTest::newRow("without records") << "tcp://127.0.0.1:1"
                                     << "" << false << true << "records";
    QTest::newRow("pdf: without Qt Gui's application")
        << "pdf:labels.pdf"
        << "" << true << true << "pdf:labels.pdf: this program draws no PDF labels";
    QTest::newRow("program without labels") << "tcp://127.0.0.1:1"
                                            << "" << true << false << "prints no labels";
}

// Nothing is programmed with a label printer that cannot be used: status 2 and one line naming it.
void TestLabelStation::refusedBeforeAnyPort() {
    QFETCH(QString, printer);
    QFETCH(QString, labelTemplate);
    QFETCH(bool, record);
    QFETCH(bool, printsLabels);
    QFETCH(QString, said);

    QTemporaryDir dir;
    QFile bad(dir.filePath(QStringLiteral("bad.zpl")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("^XA^FO1,1^FD{serial}^FS^XZ");
    bad.close();
    SessionOptions options;
    options.setFile = kSetFile;
    options.ports << dir.filePath(QStringLiteral("no-such-port"));
    options.record = record;
    options.recordPath = dir.filePath(QStringLiteral("records.sqlite"));
    options.labelPrinter = printer;
    options.labelTemplate = labelTemplate.isEmpty() ? QString() : dir.filePath(labelTemplate);

    StationSession session;
    if (printsLabels)
        session.setLabelSinks(LabelPrinterSinks(kQuick));
    QVERIFY(!session.open(options));
    QCOMPARE(session.refusal()->status, int(ExitRefused));
    const QString text = session.refusal()->text;
    QVERIFY2(text.contains(said) && !text.contains(u'\n'), qPrintable(text));
    QVERIFY(!session.station());
}

QTEST_GUILESS_MAIN(TestLabelStation)
#include "tst_labelstation.moc"
