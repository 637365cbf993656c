#include "ui/WidgetFactory.h"

#include "params/ParameterTable.h"
#include "ui/CaptionGeometry.h"
#include "ui/ListGuards.h"
#include "ui/LogStyle.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace qt2xx {
namespace {

using K = ControlKind;

QLabel* makeLabel(const ControlLayout& row, QWidget* parent) {
    auto* label = new QLabel(row.caption, parent);
    KeepCaptionColour(label, row.textColor);
    return label;
}

QGroupBox* makeGroupBox(const ControlLayout& row, QWidget* parent) {
    auto* group = new QGroupBox(row.caption, parent);
    KeepCaptionColour(group, row.textColor);
    return group;
}

QComboBox* makePortBox(QWidget* parent) {
    auto* box = new QComboBox(parent);
    GuardAgainstStrayWheel(box);
    box->setEditable(true);
    box->addItems(PortBoxItems());
    // Typed text is used as it stands: it neither joins the list nor gets completed to an item.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    return box;
}

QComboBox* makeParameterList(int parameter, QWidget* parent) {
    const ParameterDef& def = ParameterTable()[parameter];
    auto* list = new QComboBox(parent);
    GuardAgainstStrayWheel(list);
    ShowWholeChoiceAsToolTip(list);
    list->addItems(def.choices);
    list->setCurrentIndex(-1);
    list->setAccessibleName(def.accessibleName());
    return list;
}

QFrame* makePanel(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    return frame;
}

// Its caption would sit under the first group box; it names the panel for a screen reader.
QWidget* makeParameterPanel(const ControlLayout& row, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setAccessibleName(row.caption);
    return panel;
}

QPushButton* makeButton(const ControlLayout& row, QWidget* parent) {
    auto* button = new QPushButton(row.caption, parent);
    button->setAutoDefault(false);
    return button;
}

QProgressBar* makeProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false); // the bar shows its value, not a percentage text
    return bar;
}

QWidget* makeLog(QWidget* parent, const StatusLogFactory& makeStatusLog) {
    QWidget* log = makeStatusLog(parent);
    StyleStatusLog(log);
    return log;
}

} // namespace

QWidget* CreateWidget(const ControlLayout& row, QWidget* parent, const StatusLogFactory& makeStatusLog) {
    switch (row.kind) {
    case K::Panel:
        return makePanel(parent);
    case K::ParameterPanel:
        return makeParameterPanel(row, parent);
    case K::GroupBox:
        return makeGroupBox(row, parent);
    case K::Label:
        return makeLabel(row, parent);
    case K::TextBox:
        return new QLineEdit(parent);
    case K::PortBox:
        return makePortBox(parent);
    case K::ParameterList:
        return makeParameterList(row.parameter, parent);
    case K::Button:
        return makeButton(row, parent);
    case K::ProgressBar:
        return makeProgressBar(parent);
    case K::StatusLog:
        return makeLog(parent, makeStatusLog);
    }
    return nullptr;
}

} // namespace qt2xx
