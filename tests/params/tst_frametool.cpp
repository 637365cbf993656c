#include "support/BuildPaths.h"
#include "support/Lines.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTool = qt2xx::test::ProgramPath(u"qt2xx-frame");
const QString kWorkedExampleFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");
const QByteArray kWorkedExampleLine =
    "02 0F 45 15 64 03 73 00 20 37 4F 1E 32 00 01 04 60 C5 00 01 01 03 01 57 00 99 01 03 00 00 00 53\n";

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList& arguments) {
    QProcess process;
    process.start(kTool, arguments);
    Run result;
    if (!process.waitForFinished(20000))
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QList<QByteArray> workedExampleLines() {
    QFile file(kWorkedExampleFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast();
    for (QByteArray& line : lines)
        line.chop(1); // the CR
    return lines;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

} // namespace

class TestFrameTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void printsTheWorkedExample();
    void printsTheSetHash();
    void acceptsHandEditedFiles_data();
    void acceptsHandEditedFiles();
    void explainsEveryByte();
    void refuses_data();
    void refuses();

private:
    QTemporaryDir m_dir;
};

void TestFrameTool::printsTheWorkedExample() {
    const Run result = run({kWorkedExampleFile});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, kWorkedExampleLine);
    QCOMPARE(result.err, QByteArray());
}

// The worked example is written as STORE writes it, so the set's hash is that of the file.
void TestFrameTool::printsTheSetHash() {
    QFile file(kWorkedExampleFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    const Run result = run({QStringLiteral("--sha256"), kWorkedExampleFile});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, hash + '\n');
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(run({QStringLiteral("--sha256"), QStringLiteral("--explain"), kWorkedExampleFile}).exitCode, 2);
}

void TestFrameTool::acceptsHandEditedFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QList<QByteArray> lines = workedExampleLines();
    QTest::newRow("line feeds only") << qt2xx::test::JoinLines(lines, "\n");
    QTest::newRow("quoted items") << qt2xx::test::JoinLines(QList<QByteArray>{"\"3:QT2C\""} + lines.mid(1));
    QTest::newRow("lower-case label") << qt2xx::test::JoinLines(QList<QByteArray>{"3:qt2c"} + lines.mid(1));
    QTest::newRow("no line end after the last line") << qt2xx::test::JoinLines(lines).chopped(2);
    QTest::newRow("lines after the 26th")
        << qt2xx::test::JoinLines(lines + QList<QByteArray>{"extra", "more"});
}

void TestFrameTool::acceptsHandEditedFiles() {
    QFETCH(QByteArray, bytes);
    const Run result = run({writeFile(m_dir, QStringLiteral("edited.asv"), bytes)});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, kWorkedExampleLine);
}

void TestFrameTool::explainsEveryByte() {
    const Run result = run({QStringLiteral("--explain"), kWorkedExampleFile});
    QCOMPARE(result.exitCode, 0);
    const QList<QByteArray> rows = result.out.trimmed().split('\n');
    QCOMPARE(rows.size(), 32);
    QVERIFY(rows[4].contains("Low Voltage(V) \"31.5\""));
    QVERIFY(rows[4].contains("100.28898158249373"));
    QVERIFY(rows[4].trimmed().endsWith(" 64"));
    QVERIFY(rows[16].contains("95.5"));
    QVERIFY(rows[31].trimmed().endsWith(" 53"));
}

void TestFrameTool::refuses_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("reasons"); // each must appear in the one stderr line

    QList<QByteArray> lines = workedExampleLines();
    QList<QByteArray> tooHigh = lines;
    tooHigh[0] = "1:QT2A";
    tooHigh[1] = "205";
    QTest::newRow("phase current too high for board 1")
        << qt2xx::test::JoinLines(tooHigh) << QStringList{"Phase Current(A)", "\"205\"", "1:QT2A"};
    QList<QByteArray> badThird = lines;
    badThird[2] = "7.25";
    QTest::newRow("third line is no choice")
        << qt2xx::test::JoinLines(badThird) << QStringList{"line 3", "\"7.25\"", "Rated Current(A)"};
    QTest::newRow("ten lines") << qt2xx::test::JoinLines(lines.mid(0, 10))
                               << QStringList{"10 of the 26", "Block Time(s)"};
    QTest::newRow("empty file") << QByteArray() << QStringList{"0 of the 26", "Board Type"};
    QList<QByteArray> comma = lines;
    comma[0] = "3:QT2C,120";
    QTest::newRow("comma splits the first line")
        << qt2xx::test::JoinLines(comma) << QStringList{"line 2", "Rated Current(A)"};
}

void TestFrameTool::refuses() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, reasons);
    const QString path = writeFile(m_dir, QStringLiteral("refused.asv"), bytes);
    const Run result = run({path});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.err.count('\n'), 1);
    QVERIFY2(result.err.contains(path.toUtf8()), result.err.constData());
    for (const QString& reason : reasons)
        QVERIFY2(result.err.contains(reason.toUtf8()), result.err.constData());
}

QTEST_GUILESS_MAIN(TestFrameTool)
#include "tst_frametool.moc"
