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
// `twips` is measured from the top-left corner of the container that the control's table row
// refers to: the client area for the window's own controls, the inner corner of the left panel for
// its contents, and the parameter panel's corner for everything shown in the parameter panel, group
// boxes and the labels and lists inside them alike. The builder turns that into a position in the
// actual parent.
struct ControlLayout {
    QString name; // the control's name, element index included: "Combo1(13)"
    ControlKind kind;
    QString parent; // the container it is built in; empty for the client area
    QRect twips;
    int tabIndex = -1;
    QString caption;        // labels of parameter lists take theirs from the parameter table
    int parameter = -1;     // the parameter a list shows, or that a label names
    QString buddy;          // for a label: the control it names
    QColor textColor = {};  // invalid: the default text colour
    QString accessibleName; // what a screen reader calls a control that has no caption of its own
};

inline const QString kLeftPanel = QStringLiteral("Picture1");
inline const QString kParameterPanel = QStringLiteral("Frame10");

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
