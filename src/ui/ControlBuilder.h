#pragma once

#include "ui/Layout.h"

#include <QHash>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace qt2xx {

// The window's controls by name ("cmdShow", "Combo1(13)").
using ControlMap = QHash<QString, QWidget*>;

// Makes the status log's widget inside its container; the log is a component of its own.
using StatusLogFactory = std::function<QWidget*(QWidget* parent)>;

// Builds every control of `rows` inside `client`: creates it in its container, places it, names it
// (object name and accessible name), gives each label its buddy and sets the keyboard focus order by
// ascending tab index. Captions that a procedure sets at load are left to it.
ControlMap BuildControls(QWidget* client, const std::vector<ControlLayout>& rows,
                         const StatusLogFactory& makeStatusLog);

} // namespace qt2xx
