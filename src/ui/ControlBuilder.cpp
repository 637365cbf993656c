#include "ui/ControlBuilder.h"

#include "params/ParameterTable.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolTip>

#include <algorithm>

namespace qt2xx {
namespace {

using K = ControlKind;
using RowIndex = QHash<QString, const ControlLayout*>;

// The widget that takes the focus for a control: a compound control hands it to a part of itself.
QWidget* focusTarget(QWidget* widget) {
    while (widget->focusProxy())
        widget = widget->focusProxy();
    return widget;
}

QLabel* makeLabel(const ControlLayout& row, QWidget* parent) {
    auto* label = new QLabel(row.caption, parent);
    if (row.textColor.isValid()) {
        QPalette palette = label->palette();
        // Its colour holds while the panel is disabled during a run, too.
        palette.setColor(QPalette::WindowText, row.textColor);
        label->setPalette(palette);
    }
    return label;
}

// A wheel turned over a closed list that the operator has not entered would pick another item
// unseen; a list changes only when the operator picks an item.
class WheelOnlyWhenFocused : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget*>(watched)->hasFocus()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

void guardAgainstStrayWheel(QComboBox* box) {
    box->setFocusPolicy(Qt::StrongFocus);
    box->installEventFilter(new WheelOnlyWhenFocused(box));
}

QComboBox* makePortBox(QWidget* parent) {
    auto* box = new QComboBox(parent);
    guardAgainstStrayWheel(box);
    box->setEditable(true);
    box->addItems(PortBoxItems());
    // Typed text is used as it stands: it neither joins the list nor gets completed to an item.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    return box;
}

// A narrow list cuts its chosen text short; asked for its tooltip, it shows the whole text.
class ChoiceToolTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return QObject::eventFilter(watched, event);
        auto* list = static_cast<QComboBox*>(watched);
        if (list->currentText().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), list->currentText(), list);
        return true;
    }
};

QComboBox* makeParameterList(int parameter, QWidget* parent) {
    const ParameterDef& def = ParameterTable()[parameter];
    auto* list = new QComboBox(parent);
    guardAgainstStrayWheel(list);
    list->installEventFilter(new ChoiceToolTip(list));
    list->addItems(def.choices);
    list->setCurrentIndex(-1);
    list->setAccessibleName(def.accessibleName());
    return list;
}

// The log's frame shows no focus of its own, so a highlighted border does. Like a rich-text box that
// hides its selection while it has no focus, it shows the newest message, which stays selected, in
// its colour; the selection shows only while the operator is in the log.
QWidget* makeLog(QWidget* parent, const StatusLogFactory& makeStatusLog) {
    QWidget* log = makeStatusLog(parent);
    QWidget* part = focusTarget(log);
    part->setStyleSheet(QStringLiteral("*:focus { border: 1px solid palette(highlight); }"));
    QPalette palette = part->palette();
    palette.setBrush(QPalette::Inactive, QPalette::Highlight, Qt::NoBrush);
    palette.setBrush(QPalette::Inactive, QPalette::HighlightedText, Qt::NoBrush);
    part->setPalette(palette);
    return log;
}

QWidget* createWidget(const ControlLayout& row, QWidget* parent, const StatusLogFactory& makeStatusLog) {
    switch (row.kind) {
    case K::Panel: {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        return frame;
    }
    case K::ParameterPanel: {
        // Its caption would sit under the first group box; it names the panel for a screen reader.
        auto* panel = new QWidget(parent);
        panel->setAccessibleName(row.caption);
        return panel;
    }
    case K::GroupBox:
        return new QGroupBox(row.caption, parent);
    case K::Label:
        return makeLabel(row, parent);
    case K::TextBox:
        return new QLineEdit(parent);
    case K::PortBox:
        return makePortBox(parent);
    case K::ParameterList:
        return makeParameterList(row.parameter, parent);
    case K::Button: {
        auto* button = new QPushButton(row.caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case K::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false); // the bar shows its value, not a percentage text
        return bar;
    }
    case K::StatusLog:
        return makeLog(parent, makeStatusLog);
    }
    return nullptr;
}

// A caption starts at its label's top, where the layout puts it. A label lower than a line of text
// shows the bottom of the line: what it loses is the room above the capitals rather than the
// descenders.
void alignCaption(QLabel* label) {
    const bool lowerThanALine = label->fontMetrics().height() > label->height();
    label->setAlignment(Qt::AlignLeft | (lowerThanALine ? Qt::AlignBottom : Qt::AlignTop));
}

// A screen reader names the widget that has the focus, so a compound control's part gets the name
// too.
void nameForScreenReader(QWidget* widget, const QString& name) {
    widget->setAccessibleName(name);
    focusTarget(widget)->setAccessibleName(name);
}

// Where the origin of a row's twips lies in its parent widget: the inner corner of a bordered panel;
// for the contents of a group box, the corner of the group box's own container.
QPoint originInParent(const ControlLayout& row, const RowIndex& rows, const ControlMap& built) {
    if (row.parent.isEmpty())
        return {};
    const ControlLayout& parentRow = *rows.value(row.parent);
    if (parentRow.kind == K::GroupBox)
        return -TwipsToPixels(parentRow.twips).topLeft();
    if (auto* frame = qobject_cast<QFrame*>(built.value(row.parent)))
        return frame->contentsRect().topLeft();
    return {};
}

QRect rectIn(QWidget* widget, QWidget* ancestor) {
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

// The caption as drawn: a single ampersand marks the access key and is not shown.
QString shownCaption(const QLabel* label) {
    QString shown = label->text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    shown.remove(QLatin1Char('&'));
    shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return shown;
}

// Keeps a caption out from under the control it names where the two overlap. A caption whose
// glyphs do not fit the room left goes on to a second line.
void leaveRoomForBuddy(QLabel* label, QWidget* buddy, QWidget* client) {
    const QRect text = rectIn(label, client);
    const QRect control = rectIn(buddy, client);
    if (!text.intersects(control) || control.left() <= text.left())
        return;
    label->setContentsMargins(0, 0, text.right() - control.left() + 1, 0);
    const QRect ink = label->fontMetrics().tightBoundingRect(shownCaption(label));
    label->setWordWrap(ink.right() >= label->contentsRect().width());
}

void linkBuddies(const std::vector<ControlLayout>& rows, const ControlMap& built, QWidget* client) {
    for (const ControlLayout& row : rows) {
        if (row.kind != K::Label || row.buddy.isEmpty())
            continue;
        auto* label = static_cast<QLabel*>(built.value(row.name));
        QWidget* buddy = built.value(row.buddy);
        label->setBuddy(buddy);
        leaveRoomForBuddy(label, buddy, client);
    }
}

// The focus chain in ascending tab index. A compound control goes in together with the part that
// takes its focus, so that neither is left behind elsewhere in the chain.
void setTabOrder(const std::vector<ControlLayout>& rows, const ControlMap& built) {
    std::vector<const ControlLayout*> ordered;
    for (const ControlLayout& row : rows)
        if (row.tabIndex >= 0 && (focusTarget(built.value(row.name))->focusPolicy() & Qt::TabFocus))
            ordered.push_back(&row);
    std::sort(ordered.begin(), ordered.end(),
              [](const ControlLayout* a, const ControlLayout* b) { return a->tabIndex < b->tabIndex; });
    QWidgetList chain;
    for (const ControlLayout* row : ordered) {
        QWidget* widget = built.value(row->name);
        chain << widget;
        if (focusTarget(widget) != widget)
            chain << focusTarget(widget);
    }
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace

ControlMap BuildControls(QWidget* client, const std::vector<ControlLayout>& rows,
                         const StatusLogFactory& makeStatusLog) {
    RowIndex index;
    ControlMap built;
    for (const ControlLayout& row : rows) {
        index.insert(row.name, &row);
        QWidget* parent = row.parent.isEmpty() ? client : built.value(row.parent);
        QWidget* widget = createWidget(row, parent, makeStatusLog);
        widget->setObjectName(row.name);
        widget->setGeometry(TwipsToPixels(row.twips).translated(originInParent(row, index, built)));
        if (auto* label = qobject_cast<QLabel*>(widget))
            alignCaption(label);
        if (!row.accessibleName.isEmpty())
            nameForScreenReader(widget, row.accessibleName);
        built.insert(row.name, widget);
    }
    linkBuddies(rows, built, client);
    setTabOrder(rows, built);
    return built;
}

} // namespace qt2xx
