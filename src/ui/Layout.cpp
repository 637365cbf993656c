#include "ui/Layout.h"

#include "link/SequencerMessages.h"
#include "params/ParameterTable.h"

#include <cmath>

namespace qt2xx {
namespace {

using K = ControlKind;

constexpr int kListHeight = 300;
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

const QString kBoardType = QStringLiteral("Frame2");
const QString kCurrentVoltage = QStringLiteral("Frame1");
const QString kSpeedMode = QStringLiteral("Frame3");
const QString kTimerOthers = QStringLiteral("Fram4");

QString list(int parameter) {
    return ParameterListName(parameter);
}

QString captionOf(int parameter) {
    return ParameterTable()[parameter].caption;
}

// Containers come before their contents, and within one container rows go in stacking order from
// the bottom. Combo1(13) comes after the parameter panel, so it stacks above it and stays usable while
// the panel is disabled; a label comes before its list, which shows above the label's edge.
std::vector<ControlLayout> buildLayout() {
    const QString& lp = kLeftPanel;
    const QString& pp = kParameterPanel;
    const QString& bt = kBoardType;
    const QString& cv = kCurrentVoltage;
    const QString& sm = kSpeedMode;
    const QString& to = kTimerOthers;
    const int lh = kListHeight;
    // One row per control reads better than the formatter's layout.
    // clang-format off
    return {
        {.name = kLeftPanel, .kind = K::Panel, .left = 120, .top = 120, .width = 3020, .height = 5535, .tabIndex = 0},
        {.name = kCmdShow, .kind = K::Button, .parent = lp, .left = 1440, .top = 120, .width = 1455, .height = 300, .tabIndex = 1},
        {.name = "Label6", .kind = K::Label, .parent = lp, .left = 120, .top = 720, .width = 855, .height = 375, .tabIndex = 39, .caption = "Open Root", .buddy = kTxtLoadDir},
        {.name = kTxtLoadDir, .kind = K::TextBox, .parent = lp, .left = 1080, .top = 600, .width = 1755, .height = 375, .tabIndex = 38, .accessibleName = "Open Root"},
        {.name = "Label7", .kind = K::Label, .parent = lp, .left = 120, .top = 1440, .width = 1215, .height = 375, .tabIndex = 40, .caption = "Store Root", .buddy = kTxtSaveDir},
        {.name = kTxtSaveDir, .kind = K::TextBox, .parent = lp, .left = 1080, .top = 1320, .width = 1755, .height = 375, .tabIndex = 37, .accessibleName = "Store Root"},
        {.name = "Label8", .kind = K::Label, .parent = lp, .left = 120, .top = 2040, .width = 1215, .height = 375, .tabIndex = 41, .caption = "Comm Number", .buddy = kCboComPort},
        {.name = kCboComPort, .kind = K::PortBox, .parent = lp, .left = 1080, .top = 2040, .width = 1095, .height = 300, .tabIndex = 3, .accessibleName = "Comm Number"},
        {.name = kCmdFileSend, .kind = K::Button, .parent = lp, .left = 240, .top = 2640, .width = 2055, .height = 495, .tabIndex = 4, .caption = kStartTransmit},
        {.name = kIndicator, .kind = K::Label, .parent = lp, .left = 240, .top = 3240, .width = 1575, .height = 375, .tabIndex = 6, .caption = "Transmit Guage"},
        {.name = kPrgFileTransfer, .kind = K::ProgressBar, .parent = lp, .left = 240, .top = 3600, .width = 2175, .height = 495, .tabIndex = 5, .accessibleName = "Transmit Guage"},
        {.name = kRtfReceive, .kind = K::StatusLog, .parent = lp, .left = 120, .top = 4200, .width = 2775, .height = 1215, .tabIndex = 2, .accessibleName = "Status log"},

        {.name = kParameterPanel, .kind = K::ParameterPanel, .left = 3240, .top = 120, .width = 8535, .height = 7575, .tabIndex = 7, .caption = "\u6587\u4EF6\u4F20\u8F93"},
        {.name = bt, .kind = K::GroupBox, .parent = pp, .left = 360, .top = 0, .width = 2655, .height = 615, .tabIndex = 17, .caption = kBoardTypeGroup},
        {.name = cv, .kind = K::GroupBox, .parent = pp, .left = 240, .top = 1080, .width = 3015, .height = 3375, .tabIndex = 8, .caption = kCurrentVoltageGroup},
        {.name = sm, .kind = K::GroupBox, .parent = pp, .left = 3360, .top = 360, .width = 4455, .height = 4095, .tabIndex = 19, .caption = kSpeedModeGroup},
        {.name = to, .kind = K::GroupBox, .parent = pp, .left = 240, .top = 4800, .width = 7695, .height = 2775, .tabIndex = 30, .caption = kTimerOthersGroup},

        {.name = list(0), .kind = K::ParameterList, .parent = bt, .left = 600, .top = 240, .width = 2295, .height = lh, .tabIndex = 18, .parameter = 0},
        {.name = "Label1(6)", .kind = K::Label, .parent = pp, .left = 480, .top = 720, .width = 1350, .height = 180, .tabIndex = 64, .caption = captionOf(23), .textColor = kBlack, .parameter = 23, .buddy = list(23)},
        {.name = list(23), .kind = K::ParameterList, .parent = pp, .left = 1800, .top = 720, .width = 1095, .height = lh, .tabIndex = 63, .parameter = 23},
        {.name = "Label1(3)", .kind = K::Label, .parent = cv, .left = 360, .top = 1440, .width = 1620, .height = 180, .tabIndex = 10, .caption = captionOf(1), .textColor = kRed, .parameter = 1, .buddy = list(1)},
        {.name = list(1), .kind = K::ParameterList, .parent = cv, .left = 1800, .top = 1440, .width = 1095, .height = lh, .tabIndex = 9, .parameter = 1},
        {.name = "Label1(1)", .kind = K::Label, .parent = cv, .left = 360, .top = 1920, .width = 1620, .height = 180, .tabIndex = 11, .caption = captionOf(2), .parameter = 2, .buddy = list(2)},
        {.name = list(2), .kind = K::ParameterList, .parent = cv, .left = 1800, .top = 1920, .width = 1095, .height = lh, .tabIndex = 14, .parameter = 2},
        {.name = "Label1(2)", .kind = K::Label, .parent = cv, .left = 360, .top = 2400, .width = 1440, .height = 180, .tabIndex = 12, .caption = captionOf(3), .parameter = 3, .buddy = list(3)},
        {.name = list(3), .kind = K::ParameterList, .parent = cv, .left = 1800, .top = 2400, .width = 1095, .height = lh, .tabIndex = 15, .parameter = 3},
        {.name = "Label1(4)", .kind = K::Label, .parent = cv, .left = 360, .top = 2880, .width = 1620, .height = 180, .tabIndex = 13, .caption = captionOf(4), .parameter = 4, .buddy = list(4)},
        {.name = list(4), .kind = K::ParameterList, .parent = cv, .left = 1800, .top = 2880, .width = 1095, .height = lh, .tabIndex = 16, .parameter = 4},
        {.name = "Label1(5)", .kind = K::Label, .parent = cv, .left = 360, .top = 3360, .width = 1800, .height = 180, .tabIndex = 54, .caption = captionOf(16), .parameter = 16, .buddy = list(16)},
        {.name = list(16), .kind = K::ParameterList, .parent = cv, .left = 1800, .top = 3360, .width = 1095, .height = lh, .tabIndex = 52, .parameter = 16},

        {.name = "Label2(0)", .kind = K::Label, .parent = sm, .left = 3480, .top = 720, .width = 1335, .height = 255, .tabIndex = 21, .caption = captionOf(5), .parameter = 5, .buddy = list(5)},
        {.name = list(5), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 720, .width = 1095, .height = lh, .tabIndex = 20, .parameter = 5},
        {.name = "Label2(1)", .kind = K::Label, .parent = sm, .left = 3480, .top = 1080, .width = 1455, .height = 255, .tabIndex = 22, .caption = captionOf(6), .parameter = 6, .buddy = list(6)},
        {.name = list(6), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 1080, .width = 2775, .height = lh, .tabIndex = 26, .parameter = 6},
        {.name = "Label3(6)", .kind = K::Label, .parent = sm, .left = 3480, .top = 1440, .width = 1455, .height = 255, .tabIndex = 62, .caption = captionOf(21), .parameter = 21, .buddy = list(21)},
        {.name = list(21), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 1440, .width = 1095, .height = lh, .tabIndex = 59, .parameter = 21},
        {.name = "Label2(2)", .kind = K::Label, .parent = sm, .left = 3480, .top = 1800, .width = 1095, .height = 255, .tabIndex = 23, .caption = captionOf(7), .parameter = 7, .buddy = list(7)},
        {.name = list(7), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 1800, .width = 1095, .height = lh, .tabIndex = 27, .parameter = 7},
        {.name = "Label2(3)", .kind = K::Label, .parent = sm, .left = 3480, .top = 2160, .width = 1215, .height = 255, .tabIndex = 24, .caption = captionOf(8), .parameter = 8, .buddy = list(8)},
        {.name = list(8), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 2160, .width = 1095, .height = lh, .tabIndex = 28, .parameter = 8},
        {.name = "Label2(4)", .kind = K::Label, .parent = sm, .left = 3480, .top = 2520, .width = 1095, .height = 255, .tabIndex = 25, .caption = captionOf(9), .parameter = 9, .buddy = list(9)},
        {.name = list(9), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 2520, .width = 1095, .height = lh, .tabIndex = 29, .parameter = 9},
        {.name = "Label2(7)", .kind = K::Label, .parent = sm, .left = 3480, .top = 2880, .width = 1095, .height = 255, .tabIndex = 60, .caption = captionOf(22), .parameter = 22, .buddy = list(22)},
        {.name = list(22), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 2880, .width = 1095, .height = lh, .tabIndex = 61, .parameter = 22},
        {.name = "Label9", .kind = K::Label, .parent = sm, .left = 3480, .top = 3240, .width = 1575, .height = 255, .tabIndex = 43, .caption = captionOf(13), .parameter = 13, .buddy = list(13)},
        {.name = "Label3(1)", .kind = K::Label, .parent = sm, .left = 3480, .top = 3600, .width = 1575, .height = 255, .tabIndex = 47, .caption = captionOf(15), .parameter = 15, .buddy = list(15)},
        {.name = list(15), .kind = K::ParameterList, .parent = sm, .left = 4920, .top = 3600, .width = 1815, .height = lh, .tabIndex = 48, .parameter = 15},

        {.name = "Label3(0)", .kind = K::Label, .parent = to, .left = 360, .top = 5160, .width = 1575, .height = 255, .tabIndex = 32, .caption = captionOf(10), .parameter = 10, .buddy = list(10)},
        {.name = list(10), .kind = K::ParameterList, .parent = to, .left = 2280, .top = 5160, .width = 975, .height = lh, .tabIndex = 31, .parameter = 10},
        {.name = "Label4", .kind = K::Label, .parent = to, .left = 360, .top = 5640, .width = 2415, .height = 255, .tabIndex = 33, .caption = captionOf(11), .parameter = 11, .buddy = list(11)},
        {.name = list(11), .kind = K::ParameterList, .parent = to, .left = 2280, .top = 5640, .width = 975, .height = lh, .tabIndex = 35, .parameter = 11},
        {.name = "Label5", .kind = K::Label, .parent = to, .left = 360, .top = 6120, .width = 1935, .height = 255, .tabIndex = 34, .caption = captionOf(12), .parameter = 12, .buddy = list(12)},
        {.name = list(12), .kind = K::ParameterList, .parent = to, .left = 2280, .top = 6120, .width = 1695, .height = lh, .tabIndex = 36, .parameter = 12},
        {.name = "Label2(6)", .kind = K::Label, .parent = to, .left = 360, .top = 6600, .width = 1095, .height = 255, .tabIndex = 46, .caption = captionOf(14), .parameter = 14, .buddy = list(14)},
        {.name = list(14), .kind = K::ParameterList, .parent = to, .left = 2280, .top = 6600, .width = 1695, .height = lh, .tabIndex = 45, .parameter = 14},
        {.name = "Label3(7)", .kind = K::Label, .parent = to, .left = 360, .top = 7080, .width = 1455, .height = 255, .tabIndex = 67, .caption = captionOf(25), .parameter = 25, .buddy = list(25)},
        {.name = list(25), .kind = K::ParameterList, .parent = to, .left = 2280, .top = 7080, .width = 1935, .height = lh, .tabIndex = 66, .parameter = 25},
        {.name = "Label3(2)", .kind = K::Label, .parent = to, .left = 4200, .top = 5160, .width = 1215, .height = 255, .tabIndex = 55, .caption = captionOf(17), .parameter = 17, .buddy = list(17)},
        {.name = list(17), .kind = K::ParameterList, .parent = to, .left = 5880, .top = 5160, .width = 1455, .height = lh, .tabIndex = 49, .parameter = 17},
        {.name = "Label3(3)", .kind = K::Label, .parent = to, .left = 4200, .top = 5640, .width = 1815, .height = 255, .tabIndex = 56, .caption = captionOf(18), .parameter = 18, .buddy = list(18)},
        {.name = list(18), .kind = K::ParameterList, .parent = to, .left = 5880, .top = 5640, .width = 1455, .height = lh, .tabIndex = 50, .parameter = 18},
        {.name = "Label3(4)", .kind = K::Label, .parent = to, .left = 4200, .top = 6120, .width = 1215, .height = 255, .tabIndex = 57, .caption = captionOf(19), .parameter = 19, .buddy = list(19)},
        {.name = list(19), .kind = K::ParameterList, .parent = to, .left = 5880, .top = 6120, .width = 1455, .height = lh, .tabIndex = 51, .parameter = 19},
        {.name = "Label3(5)", .kind = K::Label, .parent = to, .left = 4200, .top = 6600, .width = 1575, .height = 255, .tabIndex = 58, .caption = captionOf(20), .parameter = 20, .buddy = list(20)},
        {.name = list(20), .kind = K::ParameterList, .parent = to, .left = 5880, .top = 6600, .width = 1815, .height = lh, .tabIndex = 53, .parameter = 20},
        {.name = "Label3(8)", .kind = K::Label, .parent = to, .left = 4200, .top = 7080, .width = 1215, .height = 255, .tabIndex = 68, .caption = captionOf(24), .parameter = 24, .buddy = list(24)},
        {.name = list(24), .kind = K::ParameterList, .parent = to, .left = 5880, .top = 7080, .width = 1815, .height = lh, .tabIndex = 65, .parameter = 24},

        {.name = list(13), .kind = K::ParameterList, .left = 8160, .top = 3360, .width = 2895, .height = lh, .tabIndex = 44, .parameter = 13},
    };
    // clang-format on
}

} // namespace

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / double(kTwipsPerPixel)));
}

QRect TwipsToPixels(const QRect& twips) {
    const int left = TwipsToPixels(twips.x());
    const int top = TwipsToPixels(twips.y());
    const int right = TwipsToPixels(twips.x() + twips.width());
    const int bottom = TwipsToPixels(twips.y() + twips.height());
    return {left, top, right - left, bottom - top};
}

QString ParameterListName(int parameter) {
    return QStringLiteral("Combo1(%1)").arg(parameter);
}

const QStringList& PortBoxItems() {
    static const QStringList items{QStringLiteral("1 "), QStringLiteral("2   "), QStringLiteral("3 "),
                                   QStringLiteral("4 "), QStringLiteral("5 ")};
    return items;
}

const std::vector<ControlLayout>& WindowLayout() {
    static const std::vector<ControlLayout> rows = buildLayout();
    return rows;
}

} // namespace qt2xx
