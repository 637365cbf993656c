// The record database: what goes in comes out through the store and through qt2xx-records, files
// that are not ours are left alone, and two programs writing at once lose nothing.

#include "forward/ForwardOutbox.h"
#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "support/BuildPaths.h"
#include "support/OrderSample.h"
#include "support/RecordRig.h"
#include "support/RecordSample.h"
#include "support/ResultCheck.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <cstring>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWriterRecords = 200;

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
        writer.submit(MakeRecord(tag, unit, Outcome::Finished, QDateTime::currentDateTimeUtc()));
    return writer.flush(std::chrono::seconds(60)) ? 0 : 1;
}

// The schemas as those versions wrote them, with one run and one record.
const QStringList kVersion1 = {
    "PRAGMA journal_mode = WAL",
    "CREATE TABLE runs(run_id TEXT PRIMARY KEY, started_at TEXT NOT NULL, stopped_at TEXT, device TEXT NOT "
    "NULL,"
    " program TEXT NOT NULL, host TEXT NOT NULL, parameters TEXT NOT NULL)",
    "CREATE TABLE records(seq INTEGER PRIMARY KEY AUTOINCREMENT, record_id TEXT NOT NULL UNIQUE,"
    " recorded_at TEXT NOT NULL, run_id TEXT NOT NULL, unit INTEGER NOT NULL, device TEXT NOT NULL,"
    " result TEXT NOT NULL, frame TEXT NOT NULL, parameter_sha256 TEXT NOT NULL, parameter_file TEXT NOT "
    "NULL,"
    " program TEXT NOT NULL)",
    "CREATE INDEX records_recorded_at ON records(recorded_at)",
    "INSERT INTO runs VALUES('run-old', '2026-02-01T08:00:00.000Z', '2026-02-01T09:00:00.000Z', '/dev/ttyS0',"
    " 'qt2xx 0.9', 'bench-2', '[\"a\",\"b\"]')",
    "INSERT INTO records(record_id, recorded_at, run_id, unit, device, result, frame, parameter_sha256,"
    " parameter_file, program) VALUES('rec-old', '2026-02-01T08:30:00.250Z', 'run-old', 7, '/dev/ttyS0',"
    " 'no-response', '0102', 'abc123', '/sets/old.asv', 'qt2xx 0.9')",
    "PRAGMA user_version = 1",
};
const QStringList kVersion2 =
    kVersion1 +
    QStringList{
        "CREATE TABLE forward_cursor(server TEXT PRIMARY KEY, last_seq INTEGER NOT NULL DEFAULT 0,"
        " last_sent_at TEXT, last_error TEXT, last_error_at TEXT)",
        "CREATE TABLE forward_runs(server TEXT NOT NULL, run_id TEXT NOT NULL, stopped_at TEXT,"
        " PRIMARY KEY(server, run_id))",
        "INSERT INTO forward_cursor(server) VALUES('db.plant:5432/records')",
        "PRAGMA user_version = 2",
    };

bool buildDatabase(const QString& path, const QStringList& statements) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString& sql : statements)
            ok = ok && q.exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    return ok;
}

// Runs qt2xx-records in a child that, when this one is root, has become the unprivileged user
// `nobody`, since permissions do not bind root.
ToolResult runRecordsToolAsNobody(const QStringList& arguments) {
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                setuid(nobody->pw_uid) != 0)
                _exit(99);
        }
        std::vector<QByteArray> args{ProgramPath(u"qt2xx-records").toLocal8Bit()};
        for (const QString& a : arguments)
            args.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(98);
    }
    close(out[1]);
    ToolResult result;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        result.out.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
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
    void csvExportsRunNoFormula();
    void summaryCountsPerDayAndSet();
    void toolRefusesWithExitTwo_data();
    void toolRefusesWithExitTwo();
    void olderDatabasesReadAsTheyAreThenMigrated_data();
    void olderDatabasesReadAsTheyAreThenMigrated();
    void ordersCountDistinctUnits();
    void orderFiguresAndLotReports();

private:
    QTemporaryDir m_dir;
};

void RecordStoreTest::writtenRecordsComeBackThroughFilters() {
    const QString path = m_dir.filePath(QStringLiteral("new/folder/records.sqlite"));
    std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
    QVERIFY(store);

    RunInfo run{QStringLiteral("run-1"),
                QDateTime::currentDateTimeUtc(),
                {},
                QStringLiteral("/dev/ttyUSB0"),
                QStringLiteral("qt2xx 1.0"),
                QStringLiteral("bench"),
                QStringList(26, QStringLiteral("x,\"y\""))};
    QVERIFY(store->beginRun(run));
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0, 0, 125), QTimeZone::utc());
    const ProductionRecord first = MakeRecord(run.runId, 1, Outcome::Finished, t0);
    QVERIFY(store->append(first));
    QVERIFY(store->append(first)); // the same record twice is kept once
    QVERIFY(store->append(MakeRecord(run.runId, 2, Outcome::NoResponse, t0.addSecs(60))));
    QVERIFY(store->append(MakeRecord(run.runId, 3, Outcome::Finished, t0.addDays(1))));
    QVERIFY(store->endRun(run.runId, t0.addDays(2)));

    const std::vector<ProductionRecord> all = Checked(store->records({}));
    QCOMPARE(all.size(), size_t(3));
    QCOMPARE(all[0].recordedAt, t0);
    QCOMPARE(all[0].frame, first.frame);
    QCOMPARE(Checked(store->records({t0.addSecs(1), {}, {}})).size(), size_t(2));
    QCOMPARE(Checked(store->records({{}, t0.addDays(1), {}})).size(), size_t(2));
    QCOMPARE(Checked(store->records({{}, {}, Outcome::NoResponse})).front().unit, 2);

    const std::optional<RunInfo> back = Checked(store->run(run.runId));
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
    const auto opened = RecordStore::open(path);
    QVERIFY(!opened);
    QVERIFY2(opened.error().contains(reason), qPrintable(opened.error()));
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

    const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
    QVERIFY(store);
    const std::vector<ProductionRecord> records = Checked(store->records({}));
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
    {
        const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
        QVERIFY(store);
        ProductionRecord quoted =
            MakeRecord(QStringLiteral("r"), 1, Outcome::StorageFailure, QDateTime::currentDateTimeUtc());
        quoted.parameterFile = QStringLiteral("/sets/a, \"b\".asv");
        QVERIFY(store->append(quoted));
        ProductionRecord offline =
            MakeRecord(QStringLiteral("r"), 2, Outcome::Finished, QDateTime::currentDateTimeUtc());
        offline.offline = true;
        QVERIFY(store->append(offline));
    }
    const ToolResult csv = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("export")});
    QCOMPARE(csv.exitCode, 0);
    const QList<QByteArray> lines = csv.out.split('\n');
    QCOMPARE(lines.size(), 4); // header, two rows, nothing after the last line end
    QCOMPARE(lines[0], (kCsvHeader + QLatin1Char('\r')).toUtf8());
    QVERIFY2(lines[1].contains(",\"/sets/a, \"\"b\"\".asv\","), lines[1].constData());
    QVERIFY(lines[1].contains(",storage-failure," + QByteArray(32, '\x0f').toHex().toUpper() + ','));
    QVERIFY(lines[1].endsWith(",0\r") && lines[2].endsWith(",1\r"));

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
    QCOMPARE(object.value(QStringLiteral("offline")).toInt(), 1);
    // A record not made offline has the line it had before the key existed.
    const ToolResult failed = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("export"),
                                              QStringLiteral("--format"), QStringLiteral("json"),
                                              QStringLiteral("--result"), QStringLiteral("storage-failure")});
    QVERIFY2(failed.out.endsWith(",\"rework\":0}\n"), failed.out.constData());

    const ToolResult help = RunRecordsTool({QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    for (const char* option : {"--db", "--format", "--since", "--until", "--result", "Exit status"})
        QVERIFY2(help.out.contains(option), option);
}

// Text a spreadsheet would run, in every text column that reaches a CSV export: each such cell comes
// out quoted after a "'", which a spreadsheet shows as text; numbers stay as they are.
void RecordStoreTest::csvExportsRunNoFormula() {
    const QString path = m_dir.filePath(QStringLiteral("formula.sqlite"));
    const QString hyperlink = QStringLiteral("=HYPERLINK(\"http://x\",\"y\")");
    {
        const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
        QVERIFY(store);
        ProductionRecord r = MakeRecord(QStringLiteral("r"), 1);
        r.orderId = QStringLiteral("WO-F");
        r.operatorId = hyperlink;
        r.station = QStringLiteral("=1+1");
        r.unitSerial = QStringLiteral("@SUM(1+1)"); // recorded before serials were checked
        r.device = QStringLiteral("-dev");
        r.parameterFile = QStringLiteral("+sets.asv");
        r.program = QStringLiteral("\tqt2xx");
        QT2XX_VERIFY_OK(store->append(r));
    }
    const QStringList db{QStringLiteral("--db"), path};
    const QStringList runs[] = {
        {QStringLiteral("export")},
        {QStringLiteral("order"), QStringLiteral("WO-F"), QStringLiteral("--format"), QStringLiteral("csv")},
        {QStringLiteral("order"), QStringLiteral("WO-F"), QStringLiteral("--serials"),
         QStringLiteral("--format"), QStringLiteral("csv")}};
    for (const QStringList& run : runs) {
        const ToolResult csv = RunRecordsTool(db + run);
        QCOMPARE(csv.exitCode, 0);
        const QList<QStringList> rows = CsvCells(csv.out);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].size(), rows[0].size());
        QHash<QString, QString> cell;
        for (qsizetype i = 0; i < rows[0].size(); ++i)
            cell.insert(rows[0][i], rows[1][i]);
        for (const QString& value : rows[1]) {
            const bool formula = !value.isEmpty() && QStringLiteral("=+-@\t\r").contains(value.front());
            QVERIFY2(!formula, qPrintable(run.join(u' ') + QStringLiteral(": ") + value));
        }
        const bool figures = run.size() == 4;
        QCOMPARE(cell.value(figures ? QStringLiteral("operators") : QStringLiteral("operator")),
                 QStringLiteral("'") + hyperlink);
        QCOMPARE(cell.value(figures ? QStringLiteral("stations") : QStringLiteral("station")),
                 QStringLiteral("'=1+1"));
        QCOMPARE(cell.value(figures ? QStringLiteral("units_finished") : QStringLiteral("unit")),
                 QStringLiteral("1"));
        if (!figures) {
            QCOMPARE(cell.value(QStringLiteral("unit_serial"), cell.value(QStringLiteral("serial"))),
                     QStringLiteral("'@SUM(1+1)"));
            QCOMPARE(cell.value(QStringLiteral("device")), QStringLiteral("'-dev"));
        }
    }
    const ToolResult exported = RunRecordsTool(db + runs[0]);
    QVERIFY2(exported.out.contains(",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\","),
             exported.out.constData());
    QVERIFY(exported.out.contains(",\"'+sets.asv\","));
    QVERIFY(exported.out.contains("\"'\tqt2xx\""));
}

void RecordStoreTest::summaryCountsPerDayAndSet() {
    const QString path = m_dir.filePath(QStringLiteral("summary.sqlite"));
    {
        const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
        QVERIFY(store);
        const QDateTime day(QDate(2026, 5, 4), QTime(10, 0), QTimeZone::utc());
        const Outcome outcomes[] = {Outcome::Finished, Outcome::Finished, Outcome::Finished,
                                    Outcome::NoResponse};
        int unit = 0;
        for (Outcome outcome : outcomes)
            QVERIFY(store->append(MakeRecord(QStringLiteral("r"), ++unit, outcome, day)));
        QVERIFY(
            store->append(MakeRecord(QStringLiteral("r"), ++unit, Outcome::TransmitFailure, day.addDays(1))));
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

void RecordStoreTest::olderDatabasesReadAsTheyAreThenMigrated_data() {
    QTest::addColumn<QStringList>("schema");
    QTest::addColumn<QString>("status");
    QTest::newRow("version 1") << kVersion1 << "records are not forwarded to any server\n";
    QTest::newRow("version 2") << kVersion2
                               << "db.plant:5432/records: 1 waiting since 2026-02-01T08:30:00.250Z\n";
}

// A supervisor reads a copy it may not write, in a folder it may not write; a writer later
// migrates the same file and keeps what it held.
void RecordStoreTest::olderDatabasesReadAsTheyAreThenMigrated() {
    QFETCH(QStringList, schema);
    QFETCH(QString, status);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("copy.sqlite"));
    QVERIFY(buildDatabase(path, schema));
    const QByteArray before = fileHash(path);
    QVERIFY(chmod(QFile::encodeName(path).constData(), 0444) == 0);
    QVERIFY(chmod(QFile::encodeName(folder.path()).constData(), 0555) == 0);

    const ToolResult csv = runRecordsToolAsNobody({QStringLiteral("--db"), path, QStringLiteral("export")});
    QCOMPARE(csv.exitCode, 0);
    QCOMPARE(csv.out,
             (kCsvHeader + QStringLiteral("\r\n2026-02-01T08:30:00.250Z,run-old,7,/dev/ttyS0,no-response,"
                                          "0102,abc123,/sets/old.asv,qt2xx 0.9,,,,,0,0\r\n"))
                 .toUtf8());
    const ToolResult summary =
        runRecordsToolAsNobody({QStringLiteral("--db"), path, QStringLiteral("summary")});
    QCOMPARE(summary.exitCode, 0);
    QVERIFY2(summary.out.simplified().endsWith("2026-02-01 abc123 0 0 0 1 0 0.0%"), summary.out.constData());
    const ToolResult waiting =
        runRecordsToolAsNobody({QStringLiteral("--db"), path, QStringLiteral("status")});
    QCOMPARE(waiting.exitCode, 0);
    QCOMPARE(QString::fromUtf8(waiting.out), status);
    QCOMPARE(fileHash(path), before);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("copy.sqlite")});

    QVERIFY(chmod(QFile::encodeName(folder.path()).constData(), 0755) == 0);
    QVERIFY(chmod(QFile::encodeName(path).constData(), 0644) == 0);
    const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
    QVERIFY(store);
    QCOMPARE(store->schemaVersion(), RecordStore::kSchemaVersion);
    const std::vector<ProductionRecord> records = Checked(store->records({}));
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(records[0].recordId, QStringLiteral("rec-old"));
    QCOMPARE(records[0].unit, 7);
    QCOMPARE(records[0].result, Outcome::NoResponse);
    QCOMPARE(records[0].frame, QByteArray("\x01\x02"));
    QCOMPARE(records[0].parameterFile, QStringLiteral("/sets/old.asv"));
    const std::optional<RunInfo> run = Checked(store->run(QStringLiteral("run-old")));
    QVERIFY(run);
    QCOMPARE(run->host, QStringLiteral("bench-2"));
    QCOMPARE(run->parameters, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    const std::vector<ForwardStatus> servers = Checked(readForwardStatus(store->database()));
    QCOMPARE(servers.size(), size_t(status.contains(QLatin1String("waiting")) ? 1 : 0));
    QVERIFY(records[0].orderId.isEmpty() && records[0].unitSerial.isEmpty() && !records[0].rework);
    QVERIFY(!records[0].offline);
    ProductionRecord offline = MakeRecord(QStringLiteral("run-old"), 8);
    offline.offline = true;
    QVERIFY(store->append(offline));
    QVERIFY(Checked(store->records({})).back().offline);
}

// A unit's serial, its order, who and where travel with every record; an order counts each serial
// once however often it was finished, and units without serials by their records.
void RecordStoreTest::ordersCountDistinctUnits() {
    const QString path = m_dir.filePath(QStringLiteral("orders.sqlite"));
    const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
    QVERIFY(store);
    const QDateTime t0(QDate(2026, 12, 8), QTime(9, 0), QTimeZone::utc());
    OrderInfo order{QStringLiteral("WO-1"), QStringLiteral("QT2C"), QStringLiteral("5d78"), 4, t0};
    QVERIFY(store->noteOrder(order));
    order.quantity = 9;
    QVERIFY(store->noteOrder(order)); // kept as first noted
    QCOMPARE(Checked(store->order(QStringLiteral("WO-1")))->quantity, 4);
    QCOMPARE(Checked(store->order(QStringLiteral("WO-1")))->firstUsed, t0);
    QVERIFY(!Checked(store->order(QStringLiteral("WO-2"))));

    struct Unit {
        const char* orderId;
        const char* serial;
        Outcome result;
        bool rework;
    };
    const Unit units[] = {
        {"WO-1", "S1", Outcome::TransmitFailure, false}, {"WO-1", "S1", Outcome::Finished, false},
        {"WO-1", "S1", Outcome::Finished, true},         {"WO-1", "S2", Outcome::Finished, false},
        {"WO-1", "", Outcome::Finished, false},          {"WO-1", "", Outcome::Finished, false},
        {"WO-2", "S3", Outcome::Finished, false},        {"WO-1", "S4", Outcome::NoResponse, false}};
    int n = 0;
    for (const Unit& u : units) {
        ++n;
        ProductionRecord r = MakeRecord(QStringLiteral("run"), n, u.result, t0.addSecs(n));
        r.orderId = QLatin1String(u.orderId);
        r.unitSerial = QLatin1String(u.serial);
        r.operatorId = QStringLiteral("OP1");
        r.station = QStringLiteral("fixture-3");
        r.rework = u.rework;
        QT2XX_VERIFY_OK(store->append(r));
    }
    QCOMPARE(Checked(store->unitsFinished(QStringLiteral("WO-1"))), qint64(4)); // S1, S2 and two without
    QCOMPARE(Checked(store->unitsFinished(QStringLiteral("WO-2"))), qint64(1));
    QCOMPARE(Checked(store->serialFinished(QStringLiteral("S3"))), true);
    QCOMPARE(Checked(store->serialFinished(QStringLiteral("S4"))), false);
    const std::vector<ProductionRecord> back = Checked(store->records({}));
    QCOMPARE(back.size(), std::size(units));
    QCOMPARE(back[2].unitSerial, QStringLiteral("S1"));
    QVERIFY(back[2].rework && !back[1].rework);
    QCOMPARE(back[6].orderId, QStringLiteral("WO-2"));
    QCOMPARE(back[6].operatorId, QStringLiteral("OP1"));
    QCOMPARE(back[6].station, QStringLiteral("fixture-3"));

    const ToolResult csv = RunRecordsTool({QStringLiteral("--db"), path, QStringLiteral("export")});
    QCOMPARE(csv.exitCode, 0);
    QVERIFY2(csv.out.contains(",WO-1,S1,OP1,fixture-3,1,0\r\n"), csv.out.constData());
}

// A prepared order read back as figures (text and JSON), each unit, a summary per order and the
// lot reports of the order and of a period.
void RecordStoreTest::orderFiguresAndLotReports() {
    const QString path = m_dir.filePath(QStringLiteral("lot.sqlite"));
    {
        const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
        QVERIFY(store);
        WriteOrderSample(*store);
    }
    const QStringList db{QStringLiteral("--db"), path};
    const ToolResult text = RunRecordsTool(db + QStringList{QStringLiteral("order"), QStringLiteral("WO-7")});
    QCOMPARE(text.exitCode, 0);
    for (const char* line :
         {"units finished    3\n", "attempts failed   2\n", "remaining         2\n",
          "first pass yield  50.0%\n", "quantity          5\n", "stations          bench-a, bench-b\n",
          "operators         anna, ben\n", "first             2026-03-02T08:00:00.000Z\n",
          "last              2026-03-02T10:10:00.000Z\n", "product           QT2C 48 V\n"})
        QVERIFY2(text.out.contains(line), text.out.constData());
    // A rework is no duplicate: the order's text is as it was without any.
    QVERIFY2(text.out.endsWith("operators         anna, ben\n"), text.out.constData());
    const QStringList wo8{QStringLiteral("order"), QStringLiteral("WO-8")};
    QVERIFY2(RunRecordsTool(db + wo8).out.endsWith("operators         anna, ben\n"
                                                   "duplicates        T-1: 2 finished at bench-a, bench-b; "
                                                   "made offline\n"),
             RunRecordsTool(db + wo8).out.constData());
    const QJsonArray duplicates =
        QJsonDocument::fromJson(
            RunRecordsTool(db + wo8 + QStringList{QStringLiteral("--format"), QStringLiteral("json")}).out)
            .object()
            .value(QStringLiteral("duplicates"))
            .toArray();
    QCOMPARE(duplicates, (QJsonArray{QJsonObject{{"serial", "T-1"},
                                                 {"finished", 2},
                                                 {"stations", QJsonArray{"bench-a", "bench-b"}},
                                                 {"offline", true}}}));

    const ToolResult json = RunRecordsTool(
        db + QStringList{QStringLiteral("order"), QStringLiteral("WO-7"), QStringLiteral("--serials"),
                         QStringLiteral("--format"), QStringLiteral("json")});
    QCOMPARE(json.exitCode, 0);
    const QList<QByteArray> lines = json.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 5);
    const QJsonObject figures = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(figures.value(QStringLiteral("units_finished")).toInt(), 3);
    QCOMPARE(figures.value(QStringLiteral("first_pass_yield")).toDouble(), 0.5);
    QCOMPARE(figures.value(QStringLiteral("set_sha256")).toString(), QString(64, QLatin1Char('a')));
    // Each unit by its last attempt, in the order units were last tried.
    const char* expected[][3] = {{"S-3", "finished", "1"},
                                 {"S-2", "finished", "2"},
                                 {"S-4", "no-response", "1"},
                                 {"S-1", "finished", "2"}};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject unit = QJsonDocument::fromJson(lines[i + 1]).object();
        QCOMPARE(unit.value(QStringLiteral("serial")).toString(), QLatin1String(expected[i][0]));
        QCOMPARE(unit.value(QStringLiteral("result")).toString(), QLatin1String(expected[i][1]));
        QCOMPARE(unit.value(QStringLiteral("attempts")).toInt(), QByteArray(expected[i][2]).toInt());
    }
    QCOMPARE(QJsonDocument::fromJson(lines[4]).object().value(QStringLiteral("station")).toString(),
             QStringLiteral("bench-b"));

    const ToolResult summary = RunRecordsTool(
        db + QStringList{QStringLiteral("summary"), QStringLiteral("--by"), QStringLiteral("order")});
    QCOMPARE(summary.exitCode, 0);
    QVERIFY2(summary.out.startsWith("order       parameter set"), summary.out.constData());
    QVERIFY2(summary.out.contains("WO-7        aaaaaaaaaaaa         4                 1"),
             summary.out.constData());

    const QString pdf = m_dir.filePath(QStringLiteral("wo7.pdf"));
    QCOMPARE(RunRecordsTool(db + QStringList{QStringLiteral("report"), QStringLiteral("--order"),
                                             QStringLiteral("WO-7"), QStringLiteral("--output"), pdf})
                 .exitCode,
             0);
    const QString report = PdfText(pdf);
    for (const QString& part : {QStringLiteral("S-1"), QStringLiteral("S-2"), QStringLiteral("S-3"),
                                QStringLiteral("S-4"), QStringLiteral("50.0%"), QString(64, QLatin1Char('a')),
                                QStringLiteral("text-26"), QStringLiteral("no-response")})
        QVERIFY2(report.contains(part), qPrintable(part + QStringLiteral(" missing from\n") + report));
    QVERIFY(!report.contains(QStringLiteral("T-1")));

    const QString shift = m_dir.filePath(QStringLiteral("shift.pdf"));
    QCOMPARE(RunRecordsTool(db + QStringList{QStringLiteral("report"), QStringLiteral("--since"),
                                             QStringLiteral("2026-03-02"), QStringLiteral("--units"),
                                             QStringLiteral("--output"), shift})
                 .exitCode,
             0);
    const QString period = PdfText(shift);
    for (const char* part : {"WO-7", "WO-8", "T-1", "S-4"})
        QVERIFY2(period.contains(QLatin1String(part)), qPrintable(period));
    const QString wo8Pdf = m_dir.filePath(QStringLiteral("wo8.pdf"));
    QCOMPARE(RunRecordsTool(db + QStringList{QStringLiteral("report"), QStringLiteral("--order"),
                                             QStringLiteral("WO-8"), QStringLiteral("--output"), wo8Pdf})
                 .exitCode,
             0);
    QVERIFY2(PdfText(wo8Pdf).simplified().contains(
                 QStringLiteral("Duplicates T-1 (2 finished at bench-a, bench-b; made offline)")),
             qPrintable(PdfText(wo8Pdf)));

    // Nothing matches: one line, exit 1 and no file.
    const QString none = m_dir.filePath(QStringLiteral("none.pdf"));
    for (const QStringList& args :
         {QStringList{QStringLiteral("report"), QStringLiteral("--order"), QStringLiteral("WO-9"),
                      QStringLiteral("--output"), none},
          QStringList{QStringLiteral("report"), QStringLiteral("--since"), QStringLiteral("2027-01-01"),
                      QStringLiteral("--output"), none},
          QStringList{QStringLiteral("order"), QStringLiteral("WO-9")}}) {
        const ToolResult result = RunRecordsTool(db + args);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err.count("qt2xx-records: "), 1);
        QVERIFY(result.err.endsWith("\n"));
    }
    QVERIFY(!QFile::exists(none));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--write-child") == 0)
        return writeRecordsAsChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    RecordStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
