#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace qt2xx {

// Screen positions are kept in twips, 1440 to the inch; one logical pixel is 15 twips.
inline constexpr int kTwipsPerPixel = 15;

int TwipsToPixels(int twips);
// Converts the edges, not the width, so that controls which meet in twips meet on screen.
QRect TwipsToPixels(const QRect& twips);

enum class ControlKind {
    Panel,          // a plain container with a sunken border
    ParameterPanel, // the container that is disabled for the length of a run
    GroupBox,
    Label,
    TextBox,
    PortBox,       // the one editable drop-down box
    ParameterList, // a pick-only drop-down list showing one parameter
    Button,
    ProgressBar,
    StatusLog,
};

// One control of the window as laid out.
//
// `left` and `top` are measured from the top-left corner of the container that the row refers to:
// the client area for the window's own controls, the inner corner of the left panel for its
// contents, and the parameter panel's corner for everything shown in the parameter panel, group
// boxes and the labels and lists inside them alike. The builder turns that into a position in the
// actual parent.
struct ControlLayout {
    QString name; // the control's name, element index included: "Combo1(13)"
    ControlKind kind;
    QString parent; // the container it is built in; empty for the client area
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int tabIndex = -1;
    QString caption;
    QColor textColor = {};  // invalid: the default text colour
    int parameter = -1;     // the parameter a list shows, or that a label names
    QString buddy;          // for a label: the control it names
    QString accessibleName; // what a screen reader calls a control that has no caption of its own

    QRect twips() const { return {left, top, width, height}; }
};

// The names of the containers and of the controls that the window drives.
inline const QString kLeftPanel = QStringLiteral("Picture1");
inline const QString kParameterPanel = QStringLiteral("Frame10");
inline const QString kCmdShow = QStringLiteral("cmdShow");
inline const QString kTxtLoadDir = QStringLiteral("txtLoadDir");
inline const QString kTxtSaveDir = QStringLiteral("txtSaveDir");
inline const QString kCboComPort = QStringLiteral("cboComPort");
inline const QString kCmdFileSend = QStringLiteral("cmdFileSend");
inline const QString kIndicator = QStringLiteral("Label1(0)");
inline const QString kPrgFileTransfer = QStringLiteral("prgFileTransfer");
inline const QString kRtfReceive = QStringLiteral("rtfReceive");

// Every control of the window, containers before their contents, and within one container in
// stacking order from the bottom.
const std::vector<ControlLayout>& WindowLayout();

// The laid-out size of the client area below the menu bar.
inline constexpr int kClientWidthTwips = 11595;
inline constexpr int kClientHeightTwips = 8280;

QString ParameterListName(int parameter); // "Combo1(i)"

// The port box's list, in order. Every digit is followed by one blank, except "2", which is followed
// by three.
const QStringList& PortBoxItems();

} // namespace qt2xx
