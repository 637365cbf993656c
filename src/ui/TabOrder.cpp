#include "ui/TabOrder.h"

#include "ui/FocusTarget.h"

#include <algorithm>

namespace qt2xx {

void SetTabOrder(const std::vector<ControlLayout>& rows, const QHash<QString, QWidget*>& built) {
    std::vector<const ControlLayout*> ordered;
    for (const ControlLayout& row : rows)
        if (row.tabIndex >= 0 && (FocusTarget(built.value(row.name))->focusPolicy() & Qt::TabFocus))
            ordered.push_back(&row);
    std::sort(ordered.begin(), ordered.end(),
              [](const ControlLayout* a, const ControlLayout* b) { return a->tabIndex < b->tabIndex; });
    QWidgetList chain;
    for (const ControlLayout* row : ordered) {
        QWidget* widget = built.value(row->name);
        chain << widget;
        if (FocusTarget(widget) != widget)
            chain << FocusTarget(widget);
    }
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace qt2xx
