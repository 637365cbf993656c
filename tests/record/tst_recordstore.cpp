// The record database: what goes in comes out through the store and through qt2xx-records, files
// that are not ours are left alone, and two programs writing at once lose nothing.

#include "record/RecordRig.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <cstring>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWriterRecords = 200;

ProductionRecord makeRecord(const QString& runId, int unit, Outcome result, const QDateTime& at) {
    ProductionRecord r;
    r.recordId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.recordedAt = at;
    r.runId = runId;
    r.unit = unit;
    r.device = QStringLiteral("/dev/ttyUSB0");
    r.result = result;
    r.frame = QByteArray(32, '\x0f');
    r.parameterSha256 = QString(64, QLatin1Char('a'));
    r.program = QStringLiteral("qt2xx 1.0");
    return r;
}

QByteArray fileHash(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// A SQLite file made outside the store, with one statement run in it.
void makeForeignDatabase(const QString& path, const QString& statement) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(statement));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
}

// The second process of the two-writer test: tag's records, one per unit, through a writer.
int writeRecordsAsChild(const QString& database, const QString& tag) {
    RecordWriter writer(database);
    for (int unit = 1; unit <= kWriterRecords; ++unit)
        writer.submit(makeRecord(tag, unit, Outcome::Finished, QDateTime::currentDateTimeUtc()));
    return writer.flush(std::chrono::seconds(60)) ? 0 : 1;
}

} // namespace

class RecordStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writtenRecordsComeBackThroughFilters();
    void foreignFilesAreRefusedAndLeftAlone_data();
    void foreignFilesAreRefusedAndLeftAlone();
    void twoWriterProcessesLoseNothing();
    void exportWritesCsvAndJsonLines();
    void summaryCountsPerDayAndSet();
    void toolRefusesWithExitTwo_data();
    void toolRefusesWithExitTwo();

private:
    QTemporaryDir m_dir;
};

void RecordStoreTest::writtenRecordsComeBackThroughFilters() {
    const QString path = m_dir.filePath(QStringLiteral("new/folder/records.sqlite"));
    QString error;
    std::unique_ptr<RecordStore> store = RecordStore::open(path, &error);
    QVERIFY2(store, qPrintable(error));

    RunInfo run{QStringLiteral("run-1"),
                QDateTime::currentDateTimeUtc(),
                {},
                QStringLiteral("/dev/ttyUSB0"),
                QStringLiteral("qt2xx 1.0"),
                QStringLiteral("bench"),
                QStringList(26, QStringLiteral("x,\"y\""))};
    QVERIFY(store->beginRun(run, &error));
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0, 0, 125), QTimeZone::utc());
    const ProductionRecord first = makeRecord(run.runId, 1, Outcome::Finished, t0);
    QVERIFY(store->append(first, &error));
    QVERIFY(store->append(first, &error)); // the same record twice is kept once
    QVERIFY(store->append(makeRecord(run.runId, 2, Outcome::NoResponse, t0.addSecs(60)), &error));
    QVERIFY(store->append(makeRecord(run.runId, 3, Outcome::Finished, t0.addDays(1)), &error));
    QVERIFY(store->endRun(run.runId, t0.addDays(2), &error));

    const std::vector<ProductionRecord> all = store->records({}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(all.size(), size_t(3));
    QCOMPARE(all[0].recordedAt, t0);
    QCOMPARE(all[0].frame, first.frame);
    QCOMPARE(store->records({t0.addSecs(1), {}, {}}, &error).size(), size_t(2));
    QCOMPARE(store->records({{}, t0.addDays(1), {}}, &error).size(), size_t(2));
    QCOMPARE(store->records({{}, {}, Outcome::NoResponse}, &error).front().unit, 2);

    const std::optional<RunInfo> back = store->run(run.runId, &error);
    QVERIFY(back);
    QCOMPARE(back->parameters, run.parameters);
    QCOMPARE(back->stoppedAt, t0.addDays(2));
}

void RecordStoreTest::foreignFilesAreRefusedAndLeftAlone_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("garbage") << "garbage.sqlite"
                             << "not a record database";
    QTest::newRow("newer schema") << "newer.sqlite"
                                  << "newer program";
    QTest::newRow("another program's database") << "other.sqlite"
                                                << "another kind";
    QTest::newRow("folder") << "folder.sqlite"
                            << "is a folder";
}

void RecordStoreTest::foreignFilesAreRefusedAndLeftAlone() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(name);
    if (name == QLatin1String("garbage.sqlite")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'g'));
    } else if (name == QLatin1String("newer.sqlite")) {
        makeForeignDatabase(path,
                            QStringLiteral("PRAGMA user_version = %1").arg(RecordStore::kSchemaVersion + 1));
    } else if (name == QLatin1String("other.sqlite")) {
        makeForeignDatabase(path, QStringLiteral("CREATE TABLE parts(id INTEGER)"));
    } else {
        QVERIFY(QDir().mkpath(path));
    }
    const QByteArray before = fileHash(path);
    QString error;
    QVERIFY(!RecordStore::open(path, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(fileHash(path), before);

    const ToolResult tool = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("export")});
    QCOMPARE(tool.exitCode, 2);
    QVERIFY(tool.out.isEmpty());
    QCOMPARE(tool.err.count('\n'), 1);
}

void RecordStoreTest::twoWriterProcessesLoseNothing() {
    const QString path = m_dir.filePath(QStringLiteral("shared.sqlite"));
    QProcess a, b;
    a.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--write-child"), path, QStringLiteral("a")});
    b.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--write-child"), path, QStringLiteral("b")});
    QVERIFY(a.waitForFinished(90000) && b.waitForFinished(90000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);

    QString error;
    const std::unique_ptr<RecordStore> store = RecordStore::open(path, &error);
    QVERIFY(store);
    const std::vector<ProductionRecord> records = store->records({}, &error);
    QCOMPARE(records.size(), size_t(2 * kWriterRecords));
    // Each writer's records are in its own order, whatever came between them.
    QMap<QString, int> lastUnit;
    for (const ProductionRecord& r : records) {
        QCOMPARE(r.unit, lastUnit[r.runId] + 1);
        lastUnit[r.runId] = r.unit;
    }
    QCOMPARE(lastUnit.value(QStringLiteral("a")), kWriterRecords);
    QCOMPARE(lastUnit.value(QStringLiteral("b")), kWriterRecords);
}

void RecordStoreTest::exportWritesCsvAndJsonLines() {
    const QString path = m_dir.filePath(QStringLiteral("export.sqlite"));
    QString error;
    {
        const std::unique_ptr<RecordStore> store = RecordStore::open(path, &error);
        QVERIFY(store);
        ProductionRecord quoted =
            makeRecord(QStringLiteral("r"), 1, Outcome::StorageFailure, QDateTime::currentDateTimeUtc());
        quoted.parameterFile = QStringLiteral("/sets/a, \"b\".asv");
        QVERIFY(store->append(quoted, &error));
        QVERIFY(store->append(
            makeRecord(QStringLiteral("r"), 2, Outcome::Finished, QDateTime::currentDateTimeUtc()), &error));
    }
    const ToolResult csv = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("export")});
    QCOMPARE(csv.exitCode, 0);
    const QList<QByteArray> lines = csv.out.split('\n');
    QCOMPARE(lines.size(), 4); // header, two rows, nothing after the last line end
    QCOMPARE(lines[0], (kCsvHeader + QLatin1Char('\r')).toUtf8());
    QVERIFY2(lines[1].contains(",\"/sets/a, \"\"b\"\".asv\","), lines[1].constData());
    QVERIFY(lines[1].contains(",storage-failure," + QByteArray(32, '\x0f').toHex().toUpper() + ','));

    const ToolResult json =
        RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("export"), QStringLiteral("--format"),
                        QStringLiteral("json"), QStringLiteral("--result"), QStringLiteral("finished")});
    QCOMPARE(json.exitCode, 0);
    QCOMPARE(json.out.count('\n'), 1);
    QVERIFY(json.out.startsWith("{\"recorded_at\":\""));
    const QJsonObject object = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(object.keys().size(), kCsvHeader.count(QLatin1Char(',')) + 1);
    QCOMPARE(object.value(QStringLiteral("unit")).toInt(), 2);
    QCOMPARE(object.value(QStringLiteral("result")).toString(), QStringLiteral("finished"));

    const ToolResult help = RunRecordsTool({QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    for (const char* option : {"--db", "--format", "--since", "--until", "--result", "Exit status"})
        QVERIFY2(help.out.contains(option), option);
}

void RecordStoreTest::summaryCountsPerDayAndSet() {
    const QString path = m_dir.filePath(QStringLiteral("summary.sqlite"));
    QString error;
    {
        const std::unique_ptr<RecordStore> store = RecordStore::open(path, &error);
        QVERIFY(store);
        const QDateTime day(QDate(2026, 5, 4), QTime(10, 0), QTimeZone::utc());
        const Outcome outcomes[] = {Outcome::Finished, Outcome::Finished, Outcome::Finished,
                                    Outcome::NoResponse};
        int unit = 0;
        for (Outcome outcome : outcomes)
            QVERIFY(store->append(makeRecord(QStringLiteral("r"), ++unit, outcome, day), &error));
        QVERIFY(store->append(
            makeRecord(QStringLiteral("r"), ++unit, Outcome::TransmitFailure, day.addDays(1)), &error));
    }
    const ToolResult all = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("summary")});
    QCOMPARE(all.exitCode, 0);
    const QStringList lines = QString::fromUtf8(all.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1].startsWith(QStringLiteral("2026-05-04")));
    QVERIFY2(lines[1].simplified().endsWith(QStringLiteral("3 0 0 1 0 75.0%")), qPrintable(lines[1]));
    QVERIFY2(lines[2].simplified().endsWith(QStringLiteral("0 1 0 0 0 0.0%")), qPrintable(lines[2]));

    const ToolResult since = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("summary"),
                                             QStringLiteral("--since"), QStringLiteral("2026-05-05")});
    QCOMPARE(since.out.count('\n'), 2);
}

void RecordStoreTest::toolRefusesWithExitTwo_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("missing database") << QStringList{"--db", "/nonexistent/records.sqlite", "export"};
    QTest::newRow("no command") << QStringList{"--db", "x.sqlite"};
    QTest::newRow("unknown format") << QStringList{"export", "--format", "xml"};
    QTest::newRow("unknown result") << QStringList{"export", "--result", "done"};
    QTest::newRow("time that is none") << QStringList{"export", "--since", "yesterday"};
    QTest::newRow("option without value") << QStringList{"export", "--db"};
}

void RecordStoreTest::toolRefusesWithExitTwo() {
    QFETCH(QStringList, arguments);
    const ToolResult tool = RunRecordsTool(arguments);
    QCOMPARE(tool.exitCode, 2);
    QVERIFY(tool.out.isEmpty());
    QVERIFY(!tool.err.isEmpty());
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--write-child") == 0)
        return writeRecordsAsChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    RecordStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
