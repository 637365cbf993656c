#include "ui/CaptionGeometry.h"

#include <QLabel>

#include <algorithm>
#include <cmath>

namespace qt2xx {
namespace {

QRect rectIn(QWidget* widget, QWidget* ancestor) {
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

} // namespace

QString ShownCaption(const QLabel* label) {
    QString shown = label->text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    shown.remove(QLatin1Char('&'));
    shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return shown;
}

void KeepCaptionColour(QWidget* caption, const QColor& colour) {
    QPalette palette = caption->palette();
    palette.setColor(QPalette::WindowText,
                     colour.isValid() ? colour : palette.color(QPalette::Active, QPalette::WindowText));
    caption->setPalette(palette);
}

void LeaveRoomForNeighbours(QLabel* label, const QList<QWidget*>& controls, QWidget* client) {
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
    const QRect ink = label->fontMetrics().tightBoundingRect(ShownCaption(label));
    label->setWordWrap(ink.right() >= label->contentsRect().width());
}

// The glyphs of some captions reach below the font's descent, so a grown label draws its line from
// the bottom, lifted by that overshoot into the room above the capitals.
void FitCaption(QLabel* label) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QString shown = ShownCaption(label);
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

} // namespace qt2xx
