#pragma once

#include "ui/Layout.h"

#include <QHash>

#include <vector>

class QWidget;

namespace qt2xx {

// The focus chain in ascending tab index over the controls of `rows` that take the focus. A compound
// control goes in together with the part that takes its focus, so that neither is left behind
// elsewhere in the chain.
void SetTabOrder(const std::vector<ControlLayout>& rows, const QHash<QString, QWidget*>& built);

} // namespace qt2xx
