#pragma once

#include "ui/Layout.h"
#include "ui/WidgetFactory.h"

#include <QHash>
#include <QString>

#include <stdexcept>
#include <vector>

class QWidget;

namespace qt2xx {

// The window's controls by name ("cmdShow", "Combo1(13)").
using ControlMap = QHash<QString, QWidget*>;

// A layout that cannot be built or lacks a control the window drives. It is raised while the window
// is made, so a faulty table stops the program at start-up with the control's name.
class LayoutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds every control of `rows` inside `client`: creates it in its container, places it, names it
// (object name and accessible name), gives each label its buddy and room beside its neighbours, and
// sets the keyboard focus order by ascending tab index. Captions that a procedure sets at load are
// left to it. Throws LayoutError for a name used twice, or a parent or buddy that no row before
// names.
ControlMap BuildControls(QWidget* client, const std::vector<ControlLayout>& rows,
                         const StatusLogFactory& makeStatusLog);

// The built control `name` as the kind the window drives it as; throws LayoutError naming it if the
// layout has no such control.
template <class T> T* RequireControl(const ControlMap& built, const QString& name) {
    T* control = dynamic_cast<T*>(built.value(name));
    if (!control)
        throw LayoutError(QStringLiteral("The window's layout has no control \"%1\" of the kind it needs")
                              .arg(name)
                              .toStdString());
    return control;
}

} // namespace qt2xx
