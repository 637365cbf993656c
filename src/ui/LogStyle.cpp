#include "ui/LogStyle.h"

#include "ui/FocusTarget.h"

namespace qt2xx {

void StyleStatusLog(QWidget* log) {
    QWidget* part = FocusTarget(log);
    part->setStyleSheet(QStringLiteral("*:focus { border: 1px solid palette(highlight); }"));
    QPalette palette = part->palette();
    palette.setBrush(QPalette::Inactive, QPalette::Highlight, Qt::NoBrush);
    palette.setBrush(QPalette::Inactive, QPalette::HighlightedText, Qt::NoBrush);
    part->setPalette(palette);
}

} // namespace qt2xx
