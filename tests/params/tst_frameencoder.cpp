#include "params/FrameEncoder.h"
#include "params/NumericValue.h"
#include "params/ParameterTable.h"

#include <QTest>

#include <map>

using namespace qt2xx;

namespace {

const QStringList kWorkedExample{
    "3:QT2C",   "120", "30.0",         "31.5",  "1.0",    "90",      "0:Switch 3Spd X1 X2",
    "40",       "70",  "100",          "3.0",   "5.0",    "0:Ture",  "1:Comm GND",
    "1:",       "50",  "60",           "0:Low", "1:Have", "1:False", "05",
    "1:Speed2", "110", "0:120 Degree", "80",    "1:Yes"};

const DownloadFrame kWorkedExampleFrame{0x02, 0x0F, 0x45, 0x15, 0x64, 0x03, 0x73, 0x00, 0x20, 0x37, 0x4F,
                                        0x1E, 0x32, 0x00, 0x01, 0x04, 0x60, 0xC5, 0x00, 0x01, 0x01, 0x03,
                                        0x01, 0x57, 0x00, 0x99, 0x01, 0x03, 0x00, 0x00, 0x00, 0x53};

ParameterValues workedExample() {
    ParameterValues values;
    for (int i = 0; i < kParameterCount; ++i)
        values[i] = kWorkedExample[i];
    return values;
}

DownloadFrame build(const ParameterValues& values) {
    DownloadFrame frame{};
    const auto refusal = BuildDownloadFrame(values, frame);
    if (refusal)
        qWarning("unexpected refusal: %s", qPrintable(refusal->message()));
    return frame;
}

std::uint8_t xorOf(const DownloadFrame& frame) {
    std::uint8_t x = 0;
    for (auto b : frame)
        x ^= b;
    return x;
}

struct Range {
    int low;
    int high;
};

// The bytes each frame position takes over all choices; bytes 2 and 3 depend on the board.
const std::map<int, Range> kByteRanges{
    {4, {60, 212}}, {5, {0, 25}},     {6, {38, 127}},  {7, {0, 3}},     {8, {24, 95}}, {9, {24, 95}},
    {10, {24, 95}}, {11, {10, 100}},  {12, {10, 150}}, {13, {0, 1}},    {14, {0, 1}},  {15, {0, 8}},
    {16, {0, 191}}, {17, {181, 246}}, {18, {0, 1}},    {19, {0, 1}},    {20, {0, 1}},  {21, {1, 13}},
    {22, {0, 3}},   {23, {24, 95}},   {24, {0, 2}},    {25, {57, 191}}, {26, {0, 1}},  {27, {1, 5}}};
const std::map<int, Range> kPhaseCurrentByBoard{
    {1, {37, 250}}, {2, {27, 252}}, {3, {13, 225}}, {4, {7, 219}}, {5, {0, 142}}};
const std::map<int, Range> kRatedCurrentByBoard{
    {1, {10, 91}}, {2, {10, 92}}, {3, {5, 46}}, {4, {5, 45}}, {5, {3, 30}}};

} // namespace

class TestFrameEncoder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void workedExample();
    void rawValuesOfWorkedExample();
    void boardVariations_data();
    void boardVariations();
    void singleChoiceBytes_data();
    void singleChoiceBytes();
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void refusalLeavesFrameUntouchedAndNamesTheCause();
    void unwrittenBytesSurviveEncoding();
    void exhaustiveSweep();
};

void TestFrameEncoder::workedExample() {
    QCOMPARE(build(::workedExample()), kWorkedExampleFrame);
}

void TestFrameEncoder::rawValuesOfWorkedExample() {
    const FrameRawValues raw = ComputeFrameRawValues(::workedExample());
    QCOMPARE(raw[2], 68.9568);
    QCOMPARE(raw[3], 21.175296);
    QCOMPARE(raw[4], 100.28898158249373);
    QCOMPARE(raw[5], 3.1837771930950396);
    QCOMPARE(raw[6], 115.2);
    QCOMPARE(ShortestText(raw[4]), QStringLiteral("100.28898158249373"));
}

void TestFrameEncoder::boardVariations_data() {
    QTest::addColumn<QString>("board");
    QTest::addColumn<QByteArray>("bytes"); // bytes 2, 3, 27, 31
    QTest::addColumn<double>("raw2");
    QTest::addColumn<double>("raw3");
    QTest::newRow("1:QT2A") << "1:QT2A" << QByteArray("\x96\x2A\x01\xBD", 4) << 149.9136 << 42.1632;
    QTest::newRow("2:QT2B") << "2:QT2B" << QByteArray("\x8C\x2A\x02\xA4", 4) << 139.9136 << 42.350592;
    QTest::newRow("3:QT2C") << "3:QT2C" << QByteArray("\x45\x15\x03\x53", 4) << 68.9568 << 21.175296;
    QTest::newRow("4:QT2D") << "4:QT2D" << QByteArray("\x3F\x15\x04\x2E", 4) << 62.9568 << 20.987904000000004;
    QTest::newRow("5:QT2E") << "5:QT2E" << QByteArray("\x26\x0E\x05\x2D", 4) << 37.9712 << 13.991936000000003;
}

void TestFrameEncoder::boardVariations() {
    QFETCH(QString, board);
    QFETCH(QByteArray, bytes);
    QFETCH(double, raw2);
    QFETCH(double, raw3);

    ParameterValues values = ::workedExample();
    values[0] = board;
    const DownloadFrame frame = build(values);
    DownloadFrame expected = kWorkedExampleFrame;
    expected[2] = static_cast<std::uint8_t>(bytes[0]);
    expected[3] = static_cast<std::uint8_t>(bytes[1]);
    expected[27] = static_cast<std::uint8_t>(bytes[2]);
    expected[31] = static_cast<std::uint8_t>(bytes[3]);
    QCOMPARE(frame, expected);
    const FrameRawValues raw = ComputeFrameRawValues(values);
    QCOMPARE(raw[2], raw2);
    QCOMPARE(raw[3], raw3);
}

void TestFrameEncoder::singleChoiceBytes_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byteIndex");
    QTest::addColumn<int>("byte");

    QTest::newRow("converse speed 50 is the half 95.5") << 15 << "50" << 16 << 96;
    QTest::newRow("converse speed 100") << 15 << "100" << 16 << 191;
    QTest::newRow("1+1 max speed 50") << 24 << "50" << 25 << 96;
    QTest::newRow("1+1 max speed 100") << 24 << "100" << 25 << 191;
    QTest::newRow("toler voltage 0.1") << 4 << "0.1" << 5 << 0;
    QTest::newRow("toler voltage 8.0") << 4 << "8.0" << 5 << 25;
    QTest::newRow("low voltage 18.8") << 3 << "18.8" << 4 << 60;
    QTest::newRow("low voltage 66.5") << 3 << "66.5" << 4 << 212;
    QTest::newRow("regen 55") << 16 << "55" << 17 << 181;
    QTest::newRow("regen 60") << 16 << "60" << 17 << 197;
    QTest::newRow("regen 75, no voltage trim") << 16 << "75" << 17 << 246;
    QTest::newRow("speed 1 at 30") << 7 << "30" << 8 << 24;
    QTest::newRow("speed 1 at 120") << 7 << "120" << 8 << 95;
    QTest::newRow("PAS start pulse 03") << 20 << "03" << 21 << 1;
    QTest::newRow("EBS level 2") << 14 << "2:" << 15 << 8;
    QTest::newRow("block time 1.5 in tenths") << 10 << "1.5" << 11 << 15;
    QTest::newRow("phase current 30 with blanks, board 3") << 1 << "30     " << 2 << 13;
}

void TestFrameEncoder::singleChoiceBytes() {
    QFETCH(int, parameter);
    QFETCH(QString, text);
    QFETCH(int, byteIndex);
    QFETCH(int, byte);

    ParameterValues values = ::workedExample();
    values[parameter] = text;
    const DownloadFrame frame = build(values);
    QCOMPARE(int(frame[byteIndex]), byte);
    QCOMPARE(xorOf(frame), std::uint8_t(0));
}

void TestFrameEncoder::roundsHalvesToEven_data() {
    QTest::addColumn<double>("raw");
    QTest::addColumn<int>("byte");
    QTest::newRow("95.5 up") << 95.5 << 96;
    QTest::newRow("2.5 down") << 2.5 << 2;
    QTest::newRow("0.5 down") << 0.5 << 0;
    QTest::newRow("254.5 down") << 254.5 << 254;
    QTest::newRow("255.4 in range") << 255.4 << 255;
    QTest::newRow("255.5 goes to 256") << 255.5 << -1;
    QTest::newRow("-0.5 rounds to zero") << -0.5 << 0;
    QTest::newRow("-0.6 below range") << -0.6 << -1;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << -1;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << -1;
}

void TestFrameEncoder::roundsHalvesToEven() {
    QFETCH(double, raw);
    QFETCH(int, byte);
    const auto converted = ToFrameByte(raw);
    QCOMPARE(converted ? int(*converted) : -1, byte);
}

void TestFrameEncoder::refusalLeavesFrameUntouchedAndNamesTheCause() {
    ParameterValues values = ::workedExample();
    values[0] = QStringLiteral("1:QT2A");
    values[1] = QStringLiteral("205");
    DownloadFrame frame = kWorkedExampleFrame;
    const auto refusal = BuildDownloadFrame(values, frame);
    QVERIFY(refusal);
    QCOMPARE(frame, kWorkedExampleFrame);
    QCOMPARE(refusal->byteIndex, 2);
    QCOMPARE(refusal->parameter, 1);
    QCOMPARE(refusal->raw, 256.1024);
    const QString message = refusal->message();
    QVERIFY2(message.contains("Phase Current(A)") && message.contains("\"205\"") &&
                 message.contains("1:QT2A"),
             qPrintable(message));

    values[0] = QStringLiteral("2:QT2B");
    values[1] = QStringLiteral("215");
    QVERIFY(BuildDownloadFrame(values, frame));
    QCOMPARE(ComputeFrameRawValues(values)[2], 258.5952);
}

void TestFrameEncoder::unwrittenBytesSurviveEncoding() {
    DownloadFrame frame{};
    frame[28] = 0xAA; // nothing but the encoder writes the frame, so bytes 28 to 30 stay as they are
    QVERIFY(!BuildDownloadFrame(::workedExample(), frame));
    QCOMPARE(frame[28], std::uint8_t(0xAA));
    QCOMPARE(frame[31], std::uint8_t(0x53 ^ 0xAA));
}

void TestFrameEncoder::exhaustiveSweep() {
    const auto& table = ParameterTable();
    std::map<int, Range> seen;
    int phaseFailures[6] = {};
    auto note = [&](int key, int byte) {
        auto [it, inserted] = seen.try_emplace(key, Range{byte, byte});
        it->second.low = std::min(it->second.low, byte);
        it->second.high = std::max(it->second.high, byte);
    };

    for (int board = 1; board <= 5; ++board) {
        for (int p = 0; p < kParameterCount; ++p) {
            for (const QString& choice : table[p].choices) {
                ParameterValues values = ::workedExample();
                values[0] = table[0].choices[board - 1];
                values[p] = choice;
                const int b = int(NumericValue(QStringView(values[0])));
                DownloadFrame frame{};
                const auto refusal = BuildDownloadFrame(values, frame);
                if (refusal) {
                    QVERIFY2(p == 1 && refusal->byteIndex == 2, qPrintable(refusal->message()));
                    ++phaseFailures[b];
                    const int limit = b == 1 ? 200 : 210;
                    QVERIFY2(b <= 2 && choice.toInt() > limit, qPrintable(refusal->message()));
                    continue;
                }
                QVERIFY2(!(p == 1 && b <= 2 && choice.trimmed().toInt() > (b == 1 ? 200 : 210)),
                         qPrintable(choice));
                QCOMPARE(xorOf(frame), std::uint8_t(0));
                QCOMPARE(frame[0], std::uint8_t(2));
                QCOMPARE(frame[1], std::uint8_t(15));
                for (int i = 28; i <= 30; ++i)
                    QCOMPARE(frame[i], std::uint8_t(0));
                const int byteIndex = table[p].frameByte;
                const int key = byteIndex <= 3 ? byteIndex * 100 + b : byteIndex;
                note(key, frame[byteIndex]);
            }
        }
    }

    QCOMPARE(phaseFailures[1], 27);
    QCOMPARE(phaseFailures[2], 25);
    QCOMPARE(phaseFailures[3] + phaseFailures[4] + phaseFailures[5], 0);
    for (const auto& [byteIndex, range] : kByteRanges) {
        QVERIFY2(seen.count(byteIndex), qPrintable(QString::number(byteIndex)));
        QCOMPARE(seen[byteIndex].low, range.low);
        QCOMPARE(seen[byteIndex].high, range.high);
    }
    for (int board = 1; board <= 5; ++board) {
        QCOMPARE(seen[200 + board].low, kPhaseCurrentByBoard.at(board).low);
        QCOMPARE(seen[200 + board].high, kPhaseCurrentByBoard.at(board).high);
        QCOMPARE(seen[300 + board].low, kRatedCurrentByBoard.at(board).low);
        QCOMPARE(seen[300 + board].high, kRatedCurrentByBoard.at(board).high);
    }
}

QTEST_GUILESS_MAIN(TestFrameEncoder)
#include "tst_frameencoder.moc"
