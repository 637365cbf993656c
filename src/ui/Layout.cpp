#include "ui/Layout.h"

#include "params/ParameterTable.h"

#include <cmath>

namespace qt2xx {
namespace {

using K = ControlKind;

constexpr int kListHeight = 300;

const QString kBoardType = QStringLiteral("Frame2");
const QString kCurrentVoltage = QStringLiteral("Frame1");
const QString kSpeedMode = QStringLiteral("Frame3");
const QString kTimerOthers = QStringLiteral("Fram4");

ControlLayout control(const QString& name, K kind, const QString& parent, QRect twips, int tabIndex,
                      const QString& caption = {}) {
    ControlLayout row{};
    row.name = name;
    row.kind = kind;
    row.parent = parent;
    row.twips = twips;
    row.tabIndex = tabIndex;
    row.caption = caption;
    return row;
}

ControlLayout named(ControlLayout row, const char* accessibleName) {
    row.accessibleName = QString::fromLatin1(accessibleName);
    return row;
}

ControlLayout label(const QString& name, const QString& parent, QRect twips, int tabIndex,
                    const QString& caption, const QString& buddy) {
    ControlLayout row = control(name, K::Label, parent, twips, tabIndex, caption);
    row.buddy = buddy;
    return row;
}

// A parameter list and the label to its left, both in parameter panel coordinates. Every list is
// 300 twips high.
void addParameter(std::vector<ControlLayout>& rows, int parameter, const QString& group, QPoint list,
                  int listWidth, int listTab, const char* labelName = nullptr, QRect labelTwips = {},
                  int labelTab = -1) {
    const QString listName = ParameterListName(parameter);
    if (labelName) {
        ControlLayout row = label(QString::fromLatin1(labelName), group, labelTwips, labelTab,
                                  ParameterTable()[parameter].caption, listName);
        row.parameter = parameter;
        rows.push_back(row);
    }
    ControlLayout row =
        control(listName, K::ParameterList, group, QRect(list, QSize(listWidth, kListHeight)), listTab);
    row.parameter = parameter;
    rows.push_back(row);
}

void addLeftPanel(std::vector<ControlLayout>& rows) {
    const QString& p = kLeftPanel;
    rows.push_back(control("Picture1", K::Panel, {}, {120, 120, 3020, 5535}, 0));
    rows.push_back(control("cmdShow", K::Button, p, {1440, 120, 1455, 300}, 1));
    rows.push_back(label("Label6", p, {120, 720, 855, 375}, 39, QStringLiteral("Open Root"), "txtLoadDir"));
    rows.push_back(named(control("txtLoadDir", K::TextBox, p, {1080, 600, 1755, 375}, 38), "Open Root"));
    rows.push_back(
        label("Label7", p, {120, 1440, 1215, 375}, 40, QStringLiteral("Store Root"), "txtSaveDir"));
    rows.push_back(named(control("txtSaveDir", K::TextBox, p, {1080, 1320, 1755, 375}, 37), "Store Root"));
    rows.push_back(
        label("Label8", p, {120, 2040, 1215, 375}, 41, QStringLiteral("Comm Number"), "cboComPort"));
    rows.push_back(named(control("cboComPort", K::PortBox, p, {1080, 2040, 1095, 300}, 3), "Comm Number"));
    rows.push_back(
        control("cmdFileSend", K::Button, p, {240, 2640, 2055, 495}, 4, QStringLiteral("Start Transmit")));
    rows.push_back(label("Label1(0)", p, {240, 3240, 1575, 375}, 6, QStringLiteral("Transmit Guage"), {}));
    rows.push_back(
        named(control("prgFileTransfer", K::ProgressBar, p, {240, 3600, 2175, 495}, 5), "Transmit Guage"));
    rows.push_back(named(control("rtfReceive", K::StatusLog, p, {120, 4200, 2775, 1215}, 2), "Status log"));
}

void addGroupBoxes(std::vector<ControlLayout>& rows) {
    const QString& p = kParameterPanel;
    rows.push_back(control("Frame10", K::ParameterPanel, {}, {3240, 120, 8535, 7575}, 7,
                           QStringLiteral("\u6587\u4EF6\u4F20\u8F93")));
    rows.push_back(control("Frame2", K::GroupBox, p, {360, 0, 2655, 615}, 17, QStringLiteral("Board Type")));
    rows.push_back(control("Frame1", K::GroupBox, p, {240, 1080, 3015, 3375}, 8,
                           QStringLiteral("Current\u3001Voltage Design")));
    rows.push_back(
        control("Frame3", K::GroupBox, p, {3360, 360, 4455, 4095}, 19, QStringLiteral("Speed Mode Design")));
    rows.push_back(
        control("Fram4", K::GroupBox, p, {240, 4800, 7695, 2775}, 30, QStringLiteral("Timer && Others")));
}

void addCurrentVoltage(std::vector<ControlLayout>& rows) {
    const QString& g = kCurrentVoltage;
    addParameter(rows, 0, kBoardType, {600, 240}, 2295, 18);
    addParameter(rows, 23, kParameterPanel, {1800, 720}, 1095, 63, "Label1(6)", {480, 720, 1350, 180}, 64);
    addParameter(rows, 1, g, {1800, 1440}, 1095, 9, "Label1(3)", {360, 1440, 1620, 180}, 10);
    addParameter(rows, 2, g, {1800, 1920}, 1095, 14, "Label1(1)", {360, 1920, 1620, 180}, 11);
    addParameter(rows, 3, g, {1800, 2400}, 1095, 15, "Label1(2)", {360, 2400, 1440, 180}, 12);
    addParameter(rows, 4, g, {1800, 2880}, 1095, 16, "Label1(4)", {360, 2880, 1620, 180}, 13);
    addParameter(rows, 16, g, {1800, 3360}, 1095, 52, "Label1(5)", {360, 3360, 1800, 180}, 54);
}

void addSpeedMode(std::vector<ControlLayout>& rows) {
    const QString& g = kSpeedMode;
    addParameter(rows, 5, g, {4920, 720}, 1095, 20, "Label2(0)", {3480, 720, 1335, 255}, 21);
    addParameter(rows, 6, g, {4920, 1080}, 2775, 26, "Label2(1)", {3480, 1080, 1455, 255}, 22);
    addParameter(rows, 21, g, {4920, 1440}, 1095, 59, "Label3(6)", {3480, 1440, 1455, 255}, 62);
    addParameter(rows, 7, g, {4920, 1800}, 1095, 27, "Label2(2)", {3480, 1800, 1095, 255}, 23);
    addParameter(rows, 8, g, {4920, 2160}, 1095, 28, "Label2(3)", {3480, 2160, 1215, 255}, 24);
    addParameter(rows, 9, g, {4920, 2520}, 1095, 29, "Label2(4)", {3480, 2520, 1095, 255}, 25);
    addParameter(rows, 22, g, {4920, 2880}, 1095, 61, "Label2(7)", {3480, 2880, 1095, 255}, 60);
    // Indicate Mode's list is a child of the window; only its label lives in the group.
    ControlLayout indicate =
        label("Label9", g, {3480, 3240, 1575, 255}, 43, ParameterTable()[13].caption, ParameterListName(13));
    indicate.parameter = 13;
    rows.push_back(indicate);
    addParameter(rows, 15, g, {4920, 3600}, 1815, 48, "Label3(1)", {3480, 3600, 1575, 255}, 47);
}

void addTimerOthers(std::vector<ControlLayout>& rows) {
    const QString& g = kTimerOthers;
    addParameter(rows, 10, g, {2280, 5160}, 975, 31, "Label3(0)", {360, 5160, 1575, 255}, 32);
    addParameter(rows, 11, g, {2280, 5640}, 975, 35, "Label4", {360, 5640, 2415, 255}, 33);
    addParameter(rows, 12, g, {2280, 6120}, 1695, 36, "Label5", {360, 6120, 1935, 255}, 34);
    addParameter(rows, 14, g, {2280, 6600}, 1695, 45, "Label2(6)", {360, 6600, 1095, 255}, 46);
    addParameter(rows, 25, g, {2280, 7080}, 1935, 66, "Label3(7)", {360, 7080, 1455, 255}, 67);
    addParameter(rows, 17, g, {5880, 5160}, 1455, 49, "Label3(2)", {4200, 5160, 1215, 255}, 55);
    addParameter(rows, 18, g, {5880, 5640}, 1455, 50, "Label3(3)", {4200, 5640, 1815, 255}, 56);
    addParameter(rows, 19, g, {5880, 6120}, 1455, 51, "Label3(4)", {4200, 6120, 1215, 255}, 57);
    addParameter(rows, 20, g, {5880, 6600}, 1815, 53, "Label3(5)", {4200, 6600, 1575, 255}, 58);
    addParameter(rows, 24, g, {5880, 7080}, 1815, 65, "Label3(8)", {4200, 7080, 1215, 255}, 68);
}

void colourLabel(std::vector<ControlLayout>& rows, const char* name, QColor colour) {
    for (ControlLayout& row : rows)
        if (row.name == QLatin1String(name))
            row.textColor = colour;
}

std::vector<ControlLayout> buildLayout() {
    std::vector<ControlLayout> rows;
    addLeftPanel(rows);
    addGroupBoxes(rows);
    addCurrentVoltage(rows);
    addSpeedMode(rows);
    addTimerOthers(rows);
    // Created after the parameter panel, so it stacks above it and stays usable while the panel
    // is disabled.
    addParameter(rows, 13, {}, {8160, 3360}, 2895, 44);
    colourLabel(rows, "Label1(3)", QColor(255, 0, 0));
    colourLabel(rows, "Label1(6)", QColor(0, 0, 0));
    return rows;
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
