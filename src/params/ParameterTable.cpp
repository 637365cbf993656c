#include "params/ParameterTable.h"

namespace qt2xx {
namespace {

// Integers first..last, each written with at least `width` digits.
QStringList integers(int first, int last, int step = 1, int width = 0) {
    QStringList out;
    for (int v = first; v <= last; v += step)
        out << QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
    return out;
}

// Tenths first..last (given in tenths), each written with exactly one decimal digit. Counting in
// integers keeps every text exact: no floating-point step can drift.
QStringList tenths(int firstTenths, int lastTenths, int stepTenths) {
    QStringList out;
    for (int t = firstTenths; t <= lastTenths; t += stepTenths)
        out << QStringLiteral("%1.%2").arg(t / 10).arg(t % 10);
    return out;
}

QStringList phaseCurrent() {
    QStringList out{QStringLiteral("30     ")};
    out << integers(35, 66) << integers(68, 90, 2) << integers(95, 300, 5) << integers(310, 370, 10);
    return out;
}

QStringList speedPercent() {
    return integers(30, 100) << QStringLiteral("110") << QStringLiteral("115") << QStringLiteral("120");
}

std::array<ParameterDef, kParameterCount> buildTable() {
    const QString colon = QStringLiteral("\uFF1A");
    auto cap = [&](const char* text) { return QString::fromUtf8(text) + colon; };
    // One row per parameter reads better than the formatter's layout.
    // clang-format off
    return {{
        {0, kBoardTypeGroup, QString(),
         {"1:QT2A", "2:QT2B", "3:QT2C", "4:QT2D", "5:QT2E"}, 27},
        {1, kCurrentVoltageGroup, cap("Phase Current(A)"), phaseCurrent(), 2},
        {2, kCurrentVoltageGroup, cap("Rated Current(A)"), tenths(70, 400, 5) << tenths(410, 650, 10), 3},
        {3, kCurrentVoltageGroup, cap("Low Voltage(V)"), tenths(188, 220, 1) << tenths(225, 665, 5), 4},
        {4, kCurrentVoltageGroup, cap("Toler Voltage(V)"), QStringList{"0.1"} << tenths(5, 80, 5), 5},
        {5, kSpeedModeGroup, cap("Speed Limit%"), integers(30, 99), 6},
        {6, kSpeedModeGroup, cap("3|4 Speed Mode"),
         {"0:Switch 3Spd X1 X2", "1:Cycle 3Spd X1", "2:High Switch 3Spd !X1 !X2", "3:Cycle 4Spd X1"}, 7},
        {7, kSpeedModeGroup, cap("Speed 1%"), speedPercent(), 8},
        {8, kSpeedModeGroup, cap("Speed 2%"), speedPercent(), 9},
        {9, kSpeedModeGroup, cap("Speed 3%"), speedPercent(), 10},
        {10, kTimerOthersGroup, cap("Block Time(s)"), tenths(10, 50, 5) << "7.0" << "10.0", 11},
        {11, kTimerOthersGroup, cap("Auto Curising Time(s)"),
         {"1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0", "8.0", "10.0", "12.0", "15.0"}, 12},
        {12, kTimerOthersGroup, cap("Slip Charge Mode"), {"0:Ture", "1:Only Fake Indicate"}, 13},
        {13, kSpeedModeGroup, cap("Indicate Mode"), {"0:Comm VCC", "1:Comm GND"}, 14},
        {14, kTimerOthersGroup, cap("EBS Level"), {"0:", "1:", "2:"}, 15},
        {15, kSpeedModeGroup, cap("Converse Speed%"), integers(0, 99, 1, 2) << "100", 16},
        {16, kCurrentVoltageGroup, cap("Regen Voltage(V)"), {"55", "60", "75"}, 17},
        {17, kTimerOthersGroup, cap("Guard Level"), {"0:Low", "1:High"}, 18},
        {18, kTimerOthersGroup, cap("Drive Saving"), {"0:None", "1:Have"}, 19},
        {19, kTimerOthersGroup, cap("1+1 Choice"), {"0:Ture", "1:False"}, 20},
        {20, kTimerOthersGroup, cap("PAS Start Pulse"), integers(3, 15, 1, 2), 21},
        {21, kSpeedModeGroup, cap("Default Speed"), {"0:Speed1", "1:Speed2", "2:Speed3", "3:Speed4"}, 22},
        {22, kSpeedModeGroup, cap("Speed 4%"), speedPercent(), 23},
        {23, QString(), cap("Sensor Degree"), {"0:120 Degree", "1:60  Degree", "2:Compatible"}, 24},
        {24, kTimerOthersGroup, cap("1+1Max Spd"), integers(30, 100), 25},
        {25, kTimerOthersGroup, cap("Limit&Cruise"), {"0:No", "1:Yes"}, 26},
    }};
    // clang-format on
}

} // namespace

namespace {

// A caption's text with "&&" as one ampersand and each single ampersand kept or dropped, without its
// closing full-width colon.
QString shownName(const ParameterDef& def, bool keepAccessKeyMarks) {
    QString shown = def.caption.isEmpty() ? def.group : def.caption;
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    if (!keepAccessKeyMarks)
        shown.remove(QLatin1Char('&'));
    shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    if (shown.endsWith(QChar(0xFF1A)))
        shown.chop(1);
    return shown;
}

} // namespace

QString ParameterDef::displayName() const {
    return shownName(*this, true);
}

QString ParameterDef::accessibleName() const {
    return shownName(*this, false);
}

const std::array<ParameterDef, kParameterCount>& ParameterTable() {
    static const std::array<ParameterDef, kParameterCount> table = buildTable();
    return table;
}

} // namespace qt2xx
