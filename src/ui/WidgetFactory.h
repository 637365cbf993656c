#pragma once

#include "ui/Layout.h"

#include <functional>

class QWidget;

namespace qt2xx {

// Makes the status log's widget inside its container; the log is a component of its own.
using StatusLogFactory = std::function<QWidget*(QWidget* parent)>;

// The widget of one layout row, of its kind and with its caption, in `parent`; placing and naming
// it is the builder's.
QWidget* CreateWidget(const ControlLayout& row, QWidget* parent, const StatusLogFactory& makeStatusLog);

} // namespace qt2xx
