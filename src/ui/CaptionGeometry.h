#pragma once

#include <QList>
#include <QString>

class QColor;
class QLabel;
class QWidget;

namespace qt2xx {

// The caption as drawn: a single ampersand marks the access key and is not shown.
QString ShownCaption(const QLabel* label);

// Disabling the parameter panel for a run stops input to what it holds; a caption keeps its look,
// its colour included. An invalid colour keeps the default text colour.
void KeepCaptionColour(QWidget* caption, const QColor& colour);

// Keeps a caption clear of the controls its label overlaps: the text starts after one that reaches
// in from the left and ends before one that starts inside the label. A caption whose glyphs do not
// fit the room left goes on to a second line.
void LeaveRoomForNeighbours(QLabel* label, const QList<QWidget*>& controls, QWidget* client);

// A caption starts at its label's top, where the layout puts it. A label lower than the lines of its
// caption grows downward until they fit; the next row of the layout is well below it.
void FitCaption(QLabel* label);

} // namespace qt2xx
