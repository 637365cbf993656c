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
#include <cmath>

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

// Disabling the parameter panel for a run stops input to what it holds; a caption keeps its look,
// its colour included.
void keepCaptionColour(QWidget* caption, const QColor& colour) {
    QPalette palette = caption->palette();
    palette.setColor(QPalette::WindowText,
                     colour.isValid() ? colour : palette.color(QPalette::Active, QPalette::WindowText));
    caption->setPalette(palette);
}

QLabel* makeLabel(const ControlLayout& row, QWidget* parent) {
    auto* label = new QLabel(row.caption, parent);
    keepCaptionColour(label, row.textColor);
    return label;
}

QGroupBox* makeGroupBox(const ControlLayout& row, QWidget* parent) {
    auto* group = new QGroupBox(row.caption, parent);
    keepCaptionColour(group, row.textColor);
    return group;
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
        return makeGroupBox(row, parent);
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

// Keeps a caption clear of the controls its label overlaps: the text starts after one that reaches
// in from the left and ends before one that starts inside the label. A caption whose glyphs do not
// fit the room left goes on to a second line.
void leaveRoomForNeighbours(QLabel* label, const QList<QWidget*>& controls, QWidget* client) {
    const QRect text = rectIn(label, client);
    QMargins margins;
    for (QWidget* control : controls) {
        const QRect other = rectIn(control, client);
        if (control == label || !text.intersects(other))
            continue;
        if (other.left() > text.left())
            margins.setRight(std::max(margins.right(), text.right() - other.left() + 1));
        else
            margins.setLeft(std::max(margins.left(), other.right() - text.left() + 1));
    }
    if (margins.isNull())
        return;
    label->setContentsMargins(margins);
    const QRect ink = label->fontMetrics().tightBoundingRect(shownCaption(label));
    label->setWordWrap(ink.right() >= label->contentsRect().width());
}

// A caption starts at its label's top, where the layout puts it. A label lower than the lines of its
// caption grows downward until they fit; the next row of the layout is well below it. The glyphs of
// some captions reach below the font's descent, so such a grown label draws its line from the bottom,
// lifted by that overshoot into the room above the capitals.
void fitCaption(QLabel* label) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QString shown = shownCaption(label);
    const QMargins margins = label->contentsMargins();
    const int wrap = label->wordWrap() ? int(Qt::TextWordWrap) : 0;
    const QRect lines = label->fontMetrics().boundingRect(QRect(0, 0, label->contentsRect().width(), 0),
                                                          Qt::AlignLeft | Qt::AlignTop | wrap, shown);
    const int height = lines.height() + margins.top() + margins.bottom();
    if (height <= label->height())
        return;
    label->resize(label->width(), height);
    const QFontMetricsF metrics(label->font());
    const qreal overshoot = metrics.tightBoundingRect(shown).bottom() - metrics.descent();
    if (wrap || overshoot <= 0)
        return;
    label->setContentsMargins(margins + QMargins(0, 0, 0, int(std::ceil(overshoot))));
    label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
}

bool isContainer(const ControlLayout& row) {
    return row.kind == K::Panel || row.kind == K::ParameterPanel || row.kind == K::GroupBox;
}

void linkBuddies(const std::vector<ControlLayout>& rows, const ControlMap& built, QWidget* client) {
    QList<QWidget*> controls;
    for (const ControlLayout& row : rows)
        if (!isContainer(row))
            controls << built.value(row.name);
    for (const ControlLayout& row : rows) {
        if (row.kind != K::Label)
            continue;
        auto* label = static_cast<QLabel*>(built.value(row.name));
        if (!row.buddy.isEmpty())
            label->setBuddy(built.value(row.buddy));
        leaveRoomForNeighbours(label, controls, client);
        fitCaption(label);
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
        if (!row.accessibleName.isEmpty())
            nameForScreenReader(widget, row.accessibleName);
        built.insert(row.name, widget);
    }
    linkBuddies(rows, built, client);
    setTabOrder(rows, built);
    return built;
}

} // namespace qt2xx
