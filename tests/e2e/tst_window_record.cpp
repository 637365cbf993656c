// The window and its record: nothing written unless asked, one row per outcome line of the log when
// asked, and a database that cannot be written is told in the log while the run goes on.

#include "support/BuildPaths.h"
#include "support/WindowHarness.h"

#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "support/RecordRig.h"

#include <QAction>
#include <QDirIterator>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 20000;

QStringList outcomeLines(const RichTextBox& log) {
    return OutcomeLines(log.text().split(QLatin1Char('\r')));
}

// Every file below a folder.
QStringList filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

} // namespace

class WindowRecordTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writesOnlyWhenAsked_data();
    void writesOnlyWhenAsked();
    void argumentsAreChecked();
    void everyOutcomeLineHasItsRow();
    void unwritableDatabaseIsToldAndTheRunGoesOn();
};

void WindowRecordTest::writesOnlyWhenAsked_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected"); // relative to the home folder
    QTest::newRow("no arguments") << QStringList() << QStringList();
    QTest::newRow("record") << QStringList{"--record"}
                            << QStringList{"data/qt2xx/records.sqlite", "data/qt2xx/records.sqlite-shm",
                                           "data/qt2xx/records.sqlite-wal"};
}

void WindowRecordTest::writesOnlyWhenAsked() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    for (const char* name : {"DATA", "CONFIG", "CACHE", "STATE"})
        env.insert(QStringLiteral("XDG_%1_HOME").arg(QLatin1String(name)),
                   home.filePath(QString::fromLatin1(name).toLower()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess window;
    window.setProcessEnvironment(env);
    window.start(ProgramPath(u"qt2xx"), arguments);
    QVERIFY(window.waitForStarted());
    const auto found = [&home] {
        QStringList files = filesBelow(home.path());
        for (QString& file : files)
            file = QDir(home.path()).relativeFilePath(file);
        files.sort();
        return files;
    };
    // That nothing appears can only be seen by waiting a while.
    if (expected.isEmpty())
        QTest::qWait(1000);
    else
        QTRY_COMPARE_WITH_TIMEOUT(found(), expected, 10000);
    window.terminate();
    QVERIFY(window.waitForFinished());
    QCOMPARE(found(), expected);
}

void WindowRecordTest::argumentsAreChecked() {
    QProcess window;
    window.start(ProgramPath(u"qt2xx"), {QStringLiteral("--recrd")});
    QVERIFY(window.waitForFinished());
    QCOMPARE(window.exitCode(), 2);
    QVERIFY(window.readAllStandardError().contains("usage: qt2xx"));

    window.start(ProgramPath(u"qt2xx"), {QStringLiteral("--help")});
    QVERIFY(window.waitForFinished());
    QCOMPARE(window.exitCode(), 0);
    const QByteArray help = window.readAllStandardOutput();
    QVERIFY(help.contains("--record=PATH") && help.contains("Exit status"));
    QVERIFY(help.contains("--operator ID") && help.contains("--station NAME"));

    window.start(ProgramPath(u"qt2xx"), {QStringLiteral("--record"), QStringLiteral("--operator")});
    QVERIFY(window.waitForFinished());
    QCOMPARE(window.exitCode(), 2);
    QVERIFY(window.readAllStandardError().contains("--operator needs"));
}

// The set comes from a file, so each row names it.
void WindowRecordTest::everyOutcomeLineHasItsRow() {
    SimProcess sim({QStringLiteral("--reject-frame"), QStringLiteral("--fail-every"), QStringLiteral("2")});
    QVERIFY(!sim.device().isEmpty());
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    RecordWriter writer(database);
    WindowHarness h;
    h.window->attachRecorder(writer, QStringLiteral("OP1"), QStringLiteral("S1"));
    QVERIFY(h.log()->toolTip().contains(database));
    QVERIFY(h.showActive());
    h.dialog->answer = TestDataPath(u"frame/worked-example.asv");
    h.window->OpenFile()->trigger();
    h.get<QComboBox>(QStringLiteral("cboComPort"))->setEditText(sim.device());
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(outcomeLines(*h.log()).count(QStringLiteral("Finished")) >= 2 &&
                                 outcomeLines(*h.log()).contains(QStringLiteral("Transmit Failure")),
                             kWait);
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QVERIFY(writer.flush(std::chrono::milliseconds(kWait)));

    const ToolResult tool = RunRecordsTool({QStringLiteral("--db"), database, QStringLiteral("export")});
    QCOMPARE(tool.exitCode, 0);
    const QList<QStringList> rows = CsvRows(tool.out);
    const QStringList lines = outcomeLines(*h.log());
    QCOMPARE(rows.size(), lines.size() + 1);
    const qsizetype operatorColumn = rows[0].indexOf(QStringLiteral("operator"));
    const qsizetype stationColumn = rows[0].indexOf(QStringLiteral("station"));
    QVERIFY(operatorColumn > 0 && stationColumn > 0);
    ParameterValues values{};
    QVERIFY(!CaptureParameterValues(values, [&](int i) { return h.window->comboText(i); }));
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(rows[i + 1][4], lines[i] == QLatin1String("Finished") ? QStringLiteral("finished")
                                                                       : QStringLiteral("transmit-failure"));
        QCOMPARE(rows[i + 1][3], sim.device());
        QCOMPARE(rows[i + 1][6], ParameterSetSha256(values));
        QCOMPARE(rows[i + 1][7], *h.dialog->answer);
        QCOMPARE(rows[i + 1][operatorColumn], QStringLiteral("OP1"));
        QCOMPARE(rows[i + 1][stationColumn], QStringLiteral("S1"));
    }
}

void WindowRecordTest::unwritableDatabaseIsToldAndTheRunGoesOn() {
    SimProcess sim;
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("garbage.sqlite"));
    QFile garbage(database);
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(8192, '#')) == 8192);
    garbage.close();
    RecordWriter writer(database);
    WindowHarness h;
    h.window->attachRecorder(writer);
    // Told as soon as the window is set up, before any controller.
    const QString told = QStringLiteral("Record not saved in %1: ").arg(database);
    QTRY_VERIFY_WITH_TIMEOUT(h.log()->text().contains(told), kWait);
    QCOMPARE(h.log()->colorAt(h.log()->text().indexOf(told)), QColor(255, 0, 0));
    QVERIFY(h.pickWorkedExample());
    h.get<QComboBox>(QStringLiteral("cboComPort"))->setEditText(sim.device());
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(outcomeLines(*h.log()).count(QStringLiteral("Finished")) >= 2, kWait);
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);

    QCOMPARE(h.log()->text().count(told), 1);
    QVERIFY(writer.pending() >= 2);
}

QTEST_MAIN(WindowRecordTest)
#include "tst_window_record.moc"
