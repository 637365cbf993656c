#include "files/AsvFormat.h"
#include "params/ParameterTable.h"

#include <QTest>

using namespace qt2xx;

class TestAsvFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readFields_data();
    void readFields();
    void matchChoice_data();
    void matchChoice();
    void refusedTextIsQuotedOnOneShortLine_data();
    void refusedTextIsQuotedOnOneShortLine();
};

void TestAsvFormat::readFields_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxFields");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("lines");

    QTest::newRow("CR LF line ends") << QByteArray("a\r\nb\r\n") << -1 << QStringList{"a", "b"}
                                     << QList<int>{1, 2};
    QTest::newRow("LF only") << QByteArray("a\nb\n") << -1 << QStringList{"a", "b"} << QList<int>{1, 2};
    QTest::newRow("CR only") << QByteArray("a\rb\r") << -1 << QStringList{"a", "b"} << QList<int>{1, 2};
    QTest::newRow("last line without an end")
        << QByteArray("a\r\nb") << -1 << QStringList{"a", "b"} << QList<int>{1, 2};
    QTest::newRow("empty file has no field") << QByteArray() << -1 << QStringList{} << QList<int>{};
    QTest::newRow("empty line is an empty field")
        << QByteArray("a\r\n\r\nb") << -1 << QStringList{"a", "", "b"} << QList<int>{1, 2, 3};
    QTest::newRow("spaces before dropped, blanks after kept")
        << QByteArray("  30     \r\n1:60  Degree\r\n") << -1 << QStringList{"30     ", "1:60  Degree"}
        << QList<int>{1, 2};
    QTest::newRow("a tab is no leading space")
        << QByteArray("\t30") << -1 << QStringList{"\t30"} << QList<int>{1};
    QTest::newRow("comma splits a line") << QByteArray("2:QT2B,45,\r\nx") << -1
                                         << QStringList{"2:QT2B", "45", "", "x"} << QList<int>{1, 1, 1, 2};
    QTest::newRow("quotes dropped, comma inside kept")
        << QByteArray("\"1:60  Degree\"\r\n \"a,b\",c") << -1 << QStringList{"1:60  Degree", "a,b", "c"}
        << QList<int>{1, 2, 2};
    QTest::newRow("text after the closing quote ignored")
        << QByteArray("\"45\"xyz,50\r\n") << -1 << QStringList{"45", "50"} << QList<int>{1, 1};
    QTest::newRow("quoted field over line ends keeps later lines")
        << QByteArray("\"a\r\nb\rc\nd\",e\r\nf") << -1 << QStringList{"a\r\nb\rc\nd", "e", "f"}
        << QList<int>{1, 4, 5};
    QTest::newRow("unclosed quote runs to the end")
        << QByteArray("\"abc\r\ndef") << -1 << QStringList{"abc\r\ndef"} << QList<int>{1};
    QTest::newRow("reading stops at maxFields")
        << QByteArray("a\r\nb\r\nc\r\n") << 2 << QStringList{"a", "b"} << QList<int>{1, 2};
    QTest::newRow("NUL and 8-bit bytes are characters")
        << QByteArray("a\0b\r\n\xB5", 6) << -1
        << QStringList{QString::fromLatin1("a\0b", 3), QStringLiteral("\u00B5")} << QList<int>{1, 2};
}

void TestAsvFormat::readFields() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxFields);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, lines);

    QStringList readTexts;
    QList<int> readLines;
    for (const AsvField& field : ReadAsvFields(bytes, maxFields)) {
        readTexts.append(field.text);
        readLines.append(field.line);
    }
    QCOMPARE(readTexts, texts);
    QCOMPARE(readLines, lines);
}

void TestAsvFormat::matchChoice_data() {
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("choice");

    const QStringList phase = ParameterTable()[1].choices;
    const QStringList sensor = ParameterTable()[23].choices;
    QTest::newRow("30 with its five blanks") << phase << "30     " << 0;
    QTest::newRow("hand-edited 30 without blanks") << phase << "30" << 0;
    QTest::newRow("30 with a tab") << phase << "30\t" << 0;
    QTest::newRow("leading blank is not ignored") << phase << " 35" << -1;
    QTest::newRow("blanks inside are kept") << sensor << "1:60  Degree" << 1;
    QTest::newRow("one blank inside is another text") << sensor << "1:60 Degree" << -1;
    QTest::newRow("letter case ignored last") << sensor << "1:60  DEGREE  " << 1;
    QTest::newRow("no numeric matching") << ParameterTable()[15].choices << "0" << -1;
    QTest::newRow("nothing after the colon") << ParameterTable()[14].choices << "0:" << 0;
    QTest::newRow("empty text") << ParameterTable()[0].choices << "" << -1;
    QTest::newRow("exact before blanks ignored") << QStringList{"x ", "x"} << "x" << 1;
    QTest::newRow("blanks ignored before case") << QStringList{"X", "x "} << "x" << 1;
    QTest::newRow("exact before case ignored") << QStringList{"a", "A"} << "A" << 1;
}

void TestAsvFormat::matchChoice() {
    QFETCH(QStringList, choices);
    QFETCH(QString, text);
    QFETCH(int, choice);
    QCOMPARE(MatchChoice(choices, text), choice);
}

void TestAsvFormat::refusedTextIsQuotedOnOneShortLine_data() {
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<QString>("quoted");

    QTest::newRow("control characters escaped")
        << QByteArray("\"1\x01\r\n\x7F\"") << "\"1\\x01\\x0D\\x0A\\x7F\"";
    QTest::newRow("long field cut at 40 characters")
        << QByteArray(100000, 'z') << "\"" + QString(40, QLatin1Char('z')) + "\" (100000 characters in all)";
}

void TestAsvFormat::refusedTextIsQuotedOnOneShortLine() {
    QFETCH(QByteArray, firstLine);
    QFETCH(QString, quoted);
    const AsvReadResult result = ReadAsvParameterSet(firstLine + "\r\n");
    QVERIFY(!result.set);
    QCOMPARE(result.problem.message(), "line 1: " + quoted + " is not a choice of Board Type.");
}

QTEST_GUILESS_MAIN(TestAsvFormat)
#include "tst_asvformat.moc"
