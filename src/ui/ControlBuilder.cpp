#include "ui/ControlBuilder.h"

#include "ui/CaptionGeometry.h"
#include "ui/FocusTarget.h"
#include "ui/TabOrder.h"

#include <QFrame>
#include <QLabel>

namespace qt2xx {
namespace {

using K = ControlKind;
using RowIndex = QHash<QString, const ControlLayout*>;

[[noreturn]] void fail(const ControlLayout& row, const QString& what) {
    throw LayoutError(QStringLiteral("The window's layout: \"%1\" %2").arg(row.name, what).toStdString());
}

// A screen reader names the widget that has the focus, so a compound control's part gets the name
// too.
void nameForScreenReader(QWidget* widget, const QString& name) {
    widget->setAccessibleName(name);
    FocusTarget(widget)->setAccessibleName(name);
}

// Where the origin of a row's twips lies in its parent widget: the inner corner of a bordered panel;
// for the contents of a group box, the corner of the group box's own container.
QPoint originInParent(const ControlLayout& row, const RowIndex& rows, QWidget* parent) {
    if (row.parent.isEmpty())
        return {};
    const ControlLayout& parentRow = *rows.value(row.parent);
    if (parentRow.kind == K::GroupBox)
        return -TwipsToPixels(parentRow.twips()).topLeft();
    if (auto* frame = qobject_cast<QFrame*>(parent))
        return frame->contentsRect().topLeft();
    return {};
}

bool isContainer(const ControlLayout& row) {
    return row.kind == K::Panel || row.kind == K::ParameterPanel || row.kind == K::GroupBox;
}

void linkLabels(const std::vector<ControlLayout>& rows, const ControlMap& built, QWidget* client) {
    QList<QWidget*> controls;
    for (const ControlLayout& row : rows)
        if (!isContainer(row))
            controls << built.value(row.name);
    for (const ControlLayout& row : rows) {
        if (row.kind != K::Label)
            continue;
        auto* label = static_cast<QLabel*>(built.value(row.name));
        if (!row.buddy.isEmpty()) {
            if (!built.contains(row.buddy))
                fail(row, QStringLiteral("names \"%1\", which no row makes").arg(row.buddy));
            label->setBuddy(built.value(row.buddy));
        }
        LeaveRoomForNeighbours(label, controls, client);
        FitCaption(label);
    }
}

} // namespace

ControlMap BuildControls(QWidget* client, const std::vector<ControlLayout>& rows,
                         const StatusLogFactory& makeStatusLog) {
    RowIndex index;
    ControlMap built;
    for (const ControlLayout& row : rows) {
        if (index.contains(row.name))
            fail(row, QStringLiteral("is named twice"));
        if (!row.parent.isEmpty() && !built.contains(row.parent))
            fail(row, QStringLiteral("is placed in \"%1\", which no row before it makes").arg(row.parent));
        index.insert(row.name, &row);
        QWidget* parent = row.parent.isEmpty() ? client : built.value(row.parent);
        QWidget* widget = CreateWidget(row, parent, makeStatusLog);
        widget->setObjectName(row.name);
        widget->setGeometry(TwipsToPixels(row.twips()).translated(originInParent(row, index, parent)));
        if (!row.accessibleName.isEmpty())
            nameForScreenReader(widget, row.accessibleName);
        built.insert(row.name, widget);
    }
    linkLabels(rows, built, client);
    SetTabOrder(rows, built);
    return built;
}

} // namespace qt2xx
