#include "params/NumericValue.h"
#include "params/ParameterTable.h"
#include "params/ParameterValues.h"

#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

using namespace qt2xx;

class TestParameterTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choiceLists_data();
    void choiceLists();
    void identicalSpeedLists();
    void rowsAreInIndexOrderAndFeedDistinctBytes();
    void captionsAndGroups();

    void numericValue_data();
    void numericValue();
    void numericValueOfEveryChoiceIsItsLeadingNumber();
    void numericValueIgnoresCommaDecimalLocale();

    void captureStopsAtFirstEmptyList_data();
    void captureStopsAtFirstEmptyList();
    void captureKeepsBlanksInsideTexts();
};

void TestParameterTable::choiceLists_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("inside"); // texts that must appear, in this order

    QTest::newRow("board type") << 0 << 5 << "1:QT2A"
                                << "5:QT2E" << QStringList{"3:QT2C"};
    QTest::newRow("phase current: 30 with five blanks, then integers")
        << 1 << 94 << "30     "
        << "370" << QStringList{"35", "66", "68", "90", "95", "300", "310"};
    QTest::newRow("rated current: half steps, then whole")
        << 2 << 92 << "7.0"
        << "65.0" << QStringList{"7.5", "40.0", "41.0", "64.0"};
    QTest::newRow("low voltage: tenths, then halves")
        << 3 << 122 << "18.8"
        << "66.5" << QStringList{"18.9", "21.9", "22.0", "22.5", "66.0"};
    QTest::newRow("toler voltage") << 4 << 17 << "0.1"
                                   << "8.0" << QStringList{"0.5", "1.0", "7.5"};
    QTest::newRow("speed limit") << 5 << 70 << "30"
                                 << "99" << QStringList{"31", "98"};
    QTest::newRow("speed mode") << 6 << 4 << "0:Switch 3Spd X1 X2"
                                << "3:Cycle 4Spd X1"
                                << QStringList{"1:Cycle 3Spd X1", "2:High Switch 3Spd !X1 !X2"};
    QTest::newRow("speed 1: 110 follows 100") << 7 << 74 << "30"
                                              << "120" << QStringList{"100", "110", "115"};
    QTest::newRow("block time") << 10 << 11 << "1.0"
                                << "10.0" << QStringList{"4.5", "5.0", "7.0"};
    QTest::newRow("auto cruising time") << 11 << 11 << "1.0"
                                        << "15.0" << QStringList{"8.0", "10.0", "12.0"};
    QTest::newRow("EBS level: nothing after the colon") << 14 << 3 << "0:"
                                                        << "2:" << QStringList{"1:"};
    QTest::newRow("converse speed: two digits, then 100") << 15 << 101 << "00"
                                                          << "100" << QStringList{"01", "09", "10", "99"};
    QTest::newRow("regen voltage") << 16 << 3 << "55"
                                   << "75" << QStringList{"60"};
    QTest::newRow("PAS start pulse: two digits") << 20 << 13 << "03"
                                                 << "15" << QStringList{"09", "10"};
    QTest::newRow("sensor degree: two blanks after 60") << 23 << 3 << "0:120 Degree"
                                                        << "2:Compatible" << QStringList{"1:60  Degree"};
    QTest::newRow("1+1 max speed") << 24 << 71 << "30"
                                   << "100" << QStringList{"99"};
    QTest::newRow("limit and cruise") << 25 << 2 << "0:No"
                                      << "1:Yes" << QStringList{};
}

void TestParameterTable::choiceLists() {
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QStringList, inside);

    const QStringList& choices = ParameterTable()[index].choices;
    QCOMPARE(choices.size(), count);
    QCOMPARE(choices.first(), first);
    QCOMPARE(choices.last(), last);
    qsizetype from = 0;
    for (const QString& text : inside) {
        const qsizetype at = choices.indexOf(text, from);
        QVERIFY2(at >= 0, qPrintable(text));
        from = at + 1;
    }
    QCOMPARE(QSet<QString>(choices.begin(), choices.end()).size(), count);
}

void TestParameterTable::identicalSpeedLists() {
    const auto& table = ParameterTable();
    for (int index : {8, 9, 22})
        QCOMPARE(table[index].choices, table[7].choices);
    const QStringList& speed = table[7].choices;
    QCOMPARE(speed[speed.indexOf("100") + 1], QStringLiteral("110"));
}

void TestParameterTable::rowsAreInIndexOrderAndFeedDistinctBytes() {
    QSet<int> bytes;
    for (int i = 0; i < kParameterCount; ++i) {
        QCOMPARE(ParameterTable()[i].index, i);
        bytes.insert(ParameterTable()[i].frameByte);
    }
    QCOMPARE(bytes.size(), kParameterCount);
    QCOMPARE(ParameterTable()[0].frameByte, 27);
    QCOMPARE(ParameterTable()[13].frameByte, 14);
    QCOMPARE(ParameterTable()[22].frameByte, 23);
}

void TestParameterTable::captionsAndGroups() {
    const auto& table = ParameterTable();
    QCOMPARE(table[0].caption, QString());
    QCOMPARE(table[0].displayName(), QStringLiteral("Board Type"));
    QCOMPARE(table[1].caption, QStringLiteral("Phase Current(A)\uFF1A"));
    QCOMPARE(table[1].group, QStringLiteral("Current\u3001Voltage Design"));
    QCOMPARE(table[6].caption, QStringLiteral("3|4 Speed Mode\uFF1A"));
    QCOMPARE(table[10].group, QStringLiteral("Timer && Others"));
    QCOMPARE(table[11].caption, QStringLiteral("Auto Curising Time(s)\uFF1A"));
    QCOMPARE(table[23].group, QString());
    QCOMPARE(table[25].caption, QStringLiteral("Limit&Cruise\uFF1A"));
    QCOMPARE(table[25].displayName(), QStringLiteral("Limit&Cruise"));
    QCOMPARE(table[25].accessibleName(), QStringLiteral("LimitCruise"));
    QCOMPARE(table[1].accessibleName(), QStringLiteral("Phase Current(A)"));
    QCOMPARE(table[0].accessibleName(), QStringLiteral("Board Type"));
    for (const auto& def : table)
        if (def.index != 0)
            QVERIFY2(def.caption.endsWith(QChar(0xFF1A)), qPrintable(def.caption));
}

void TestParameterTable::numericValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("coded choice") << "1:QT2A" << 1.0;
    QTest::newRow("nothing after the colon") << "0:" << 0.0;
    QTest::newRow("leading zero") << "03" << 3.0;
    QTest::newRow("trailing blanks") << "30     " << 30.0;
    QTest::newRow("fraction") << "0.5" << 0.5;
    QTest::newRow("blanks inside a label") << "1:60  Degree" << 1.0;
    QTest::newRow("nearest double to 18.8") << "18.8" << 18.8;
    QTest::newRow("digits then letters") << "3abc" << 3.0;
    QTest::newRow("leading blanks") << "   4" << 4.0;
    QTest::newRow("blanks between digits are skipped") << "1 2\t3\n4" << 1234.0;
    QTest::newRow("second point ends the number") << "1.2.3" << 1.2;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("sign is not a digit") << "-5" << 0.0;
    QTest::newRow("comma is not a point") << "2,5" << 2.0;
    QTest::newRow("full-width digit is not a digit") << "\uFF13" << 0.0;
    QTest::newRow("many digits round once")
        << "0.1000000000000000055511151231257827021181583404541015625000001" << 0.1;
    QTest::newRow("beyond any double")
        << QString(400, QLatin1Char('9')) << std::numeric_limits<double>::infinity();
    QTest::newRow("vanishing fraction") << "0." + QString(400, QLatin1Char('0')) + "1" << 0.0;
}

void TestParameterTable::numericValue() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(NumericValue(QStringView(text)), value);
    const QByteArray ascii = text.toLatin1();
    if (QString::fromLatin1(ascii) == text && !ascii.contains('?'))
        QCOMPARE(NumericValue(std::string_view(ascii.constData(), ascii.size())), value);
}

void TestParameterTable::numericValueOfEveryChoiceIsItsLeadingNumber() {
    // Every choice begins with its number; the value must equal the plain number read by Qt.
    for (const auto& def : ParameterTable()) {
        for (const QString& choice : def.choices) {
            QString digits;
            for (QChar c : choice) {
                if (!c.isDigit() && c != QLatin1Char('.'))
                    break;
                digits += c;
            }
            QVERIFY2(!digits.isEmpty(), qPrintable(choice));
            QCOMPARE(NumericValue(QStringView(choice)), QLocale::c().toDouble(digits));
        }
    }
}

void TestParameterTable::numericValueIgnoresCommaDecimalLocale() {
    QTemporaryDir localeDir;
    const char* name = "de_DE.UTF-8";
    if (!std::setlocale(LC_ALL, name)) {
        // Build the locale for this process only, so the test does not depend on the machine's set-up.
        const int rc =
            QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", localeDir.filePath(name)});
        if (rc == 0) {
            qputenv("LOCPATH", localeDir.path().toLocal8Bit());
        }
        if (!std::setlocale(LC_ALL, name))
            QSKIP("no comma-decimal locale can be made on this machine");
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(std::strtod("18,8", nullptr), 18.8); // the C library now reads a comma
    QCOMPARE(NumericValue(QStringView(u"18.8")), 18.8);
    QCOMPARE(NumericValue(std::string_view("66.5")), 66.5);
    QCOMPARE(NumericValue(QStringView(u"18,8")), 18.0);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

void TestParameterTable::captureStopsAtFirstEmptyList_data() {
    QTest::addColumn<int>("emptyIndex");
    QTest::newRow("nothing picked stops at board type") << 0;
    QTest::newRow("indicate mode unpicked") << 13;
    QTest::newRow("last list unpicked") << 25;
    QTest::newRow("all picked") << -1;
}

void TestParameterTable::captureStopsAtFirstEmptyList() {
    QFETCH(int, emptyIndex);
    ParameterValues values;
    for (int i = 0; i < kParameterValueSlots; ++i)
        values[i] = QStringLiteral("old %1").arg(i);

    int calls = 0;
    const auto result = CaptureParameterValues(values, [&](int i) {
        ++calls;
        return i >= emptyIndex && emptyIndex >= 0 ? QString() : ParameterTable()[i].choices.first();
    });

    if (emptyIndex < 0) {
        QVERIFY(!result);
        QCOMPARE(calls, kParameterCount);
    } else {
        QCOMPARE(result, std::optional<int>(emptyIndex));
        QCOMPARE(calls, emptyIndex + 1);
        QCOMPARE(values[emptyIndex], QString());
    }
    const int refreshed = emptyIndex < 0 ? kParameterCount : emptyIndex;
    for (int i = 0; i < refreshed; ++i)
        QCOMPARE(values[i], ParameterTable()[i].choices.first());
    for (int i = refreshed + 1; i < kParameterValueSlots; ++i)
        QCOMPARE(values[i], QStringLiteral("old %1").arg(i));
}

void TestParameterTable::captureKeepsBlanksInsideTexts() {
    ParameterValues values;
    const auto result = CaptureParameterValues(values, [](int i) {
        const QStringList& choices = ParameterTable()[i].choices;
        return i == 23 ? choices[1] : choices.first();
    });
    QVERIFY(!result);
    QCOMPARE(values[1], QStringLiteral("30     "));
    QCOMPARE(NumericValue(QStringView(values[1])), 30.0);
    QCOMPARE(values[23], QStringLiteral("1:60  Degree"));
}

QTEST_GUILESS_MAIN(TestParameterTable)
#include "tst_parametertable.moc"
