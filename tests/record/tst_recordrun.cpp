// Runs against the virtual controller with the record on: one row per outcome the log shows, with
// the frame and set that were sent, and every row a child reported survives the child being killed.

#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "support/RecordRig.h"
#include "support/RecordedRig.h"
#include "support/ResultCheck.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 20000;
constexpr int kKills = 20;

// The child of the crash test: programs controllers and says "done <record id>" once each is durable.
int programAsChild(const QString& database, const QString& device) {
    RecordedRig rig(device, database);
    QObject::connect(&rig.writer, &RecordWriter::committed, &rig.writer, [](quint64, const QString& id) {
        std::printf("done %s\n", qPrintable(id));
        std::fflush(stdout);
    });
    rig.sequencer.cmdFileSend_Click();
    return QCoreApplication::exec();
}

QSet<QString> storedIds(const QString& database) {
    QSet<QString> ids;
    if (const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(database)))
        for (const ProductionRecord& r : Checked(store->records({})))
            ids.insert(r.recordId);
    return ids;
}

QString integrityCheck(const QString& database) {
    const Result<std::unique_ptr<RecordStore>> store = RecordStore::open(database);
    if (!store)
        return store.error();
    QSqlQuery q((*store)->database());
    return q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next() ? q.value(0).toString()
                                                                        : q.lastError().text();
}

} // namespace

class RecordRunTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exportGivesOneRowPerOutcome_data();
    void exportGivesOneRowPerOutcome();
    void killedWriterLosesNoReportedRecord();

private:
    QTemporaryDir m_dir;
};

void RecordRunTest::exportGivesOneRowPerOutcome_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("failure");
    QTest::newRow("all finished") << ""
                                  << "";
    QTest::newRow("rejected frame") << "--reject-frame" << kTransmitFailureMessage;
    QTest::newRow("rejected store") << "--reject-store" << kStorageFailureMessage;
    QTest::newRow("silent after the frame") << "--silent-after-frame" << kNoResponseMessage;
    QTest::newRow("silent after acceptance") << "--silent-after-accept" << kNoStorageResponseMessage;
}

void RecordRunTest::exportGivesOneRowPerOutcome() {
    QFETCH(QString, mode);
    QFETCH(QString, failure);
    const SimProcess sim(mode.isEmpty()
                             ? QStringList()
                             : QStringList{mode, QStringLiteral("--fail-every"), QStringLiteral("2")});
    QVERIFY(!sim.device().isEmpty());
    const QString database =
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".sqlite"));
    RecordedRig rig(sim.device(), database);
    rig.sequencer.cmdFileSend_Click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.outcomeLines().count(QStringLiteral("Finished")) >= 2 &&
                                 (failure.isEmpty() || rig.outcomeLines().contains(failure)),
                             kWait);
    rig.sequencer.cmdFileSend_Click();
    QVERIFY(rig.writer.flush(std::chrono::seconds(10)));

    const ToolResult tool = RunRecordsTool({QStringLiteral("--db"), database, QStringLiteral("export")});
    QCOMPARE(tool.exitCode, 0);
    const QList<QStringList> rows = CsvRows(tool.out);
    QCOMPARE(rows.value(0).join(QLatin1Char(',')), kCsvHeader);
    const QStringList lines = rig.outcomeLines();
    QCOMPARE(rows.size() - 1, lines.size());
    const QString frame = FrameHex(frameBytes(rig.frame));
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList& row = rows[i + 1];
        QCOMPARE(row[2], QString::number(i + 1));
        QCOMPARE(row[3], sim.device());
        QCOMPARE(row[4], kResultOfLine.value(lines[i]));
        QCOMPARE(row[5], frame);
        QCOMPARE(row[6], ParameterSetSha256(rig.values));
        QCOMPARE(row[7], QString());
        QCOMPARE(row[8], RecordProgramName());
        QCOMPARE(row[1], rows[1][1]); // one run
    }
}

// The child is killed at random moments, often in the middle of a write.
void RecordRunTest::killedWriterLosesNoReportedRecord() {
    const SimProcess sim(
        {QStringLiteral("--reject-frame"), QStringLiteral("--fail-every"), QStringLiteral("3")});
    QVERIFY(!sim.device().isEmpty());
    const QString database = m_dir.filePath(QStringLiteral("killed.sqlite"));
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    QSet<QString> reported;
    for (int kill = 0; kill <= kKills; ++kill) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--program-child"), database, sim.device()});
        QVERIFY(child.waitForStarted());
        const qsizetype before = storedIds(database).size();
        QByteArray output;
        const auto read = [&] { return output += child.readAllStandardOutput(); };
        // Every other kill comes after the child has reported a record, however slowly it starts on a
        // loaded machine, so the kills land among writes; the others may land in its start.
        if (kill == kKills || kill % 2 == 1)
            QTRY_VERIFY_WITH_TIMEOUT(read().contains("done "), kWait);
        if (kill != kKills)
            QTest::qWait(int(random.bounded(150, 900)));
        child.kill();
        child.waitForFinished();
        for (const QByteArray& line : read().split('\n'))
            if (line.startsWith("done "))
                reported.insert(QString::fromLatin1(line.mid(5)));
        const QSet<QString> stored = storedIds(database);
        QVERIFY2(stored.contains(reported), qPrintable(QStringLiteral("after kill %1").arg(kill)));
        if (kill == kKills)
            QVERIFY(stored.size() > before);
    }
    qInfo("%lld records reported done across %d kills", qint64(reported.size()), kKills);
    QVERIFY(reported.size() >= kKills / 2);
    QCOMPARE(integrityCheck(database), QStringLiteral("ok"));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--program-child") == 0)
        return programAsChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    RecordRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordrun.moc"
