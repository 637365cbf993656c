#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

class QPlainTextEdit;

namespace qt2xx {

// Where a text offset lies among the box's paragraphs.
struct TextPosition {
    int paragraph = 0;
    int column = 0;
    friend bool operator==(const TextPosition&, const TextPosition&) = default;
};

// A box of coloured text, addressed as one string of characters with offsets from 0. It shows a
// QTextDocument in a QPlainTextEdit, whose layout works paragraph by paragraph, so adding at the end
// costs the same however long the text has grown.
//
// Text model and its mapping to the widget: every carriage return (or line feed) of the text ends a
// paragraph of the document, and each paragraph end takes exactly one offset, as each
// character does. So offset o is document position o, the length of the text is the number of document
// positions before the last (always open) paragraph, and paragraph k begins right after the k-th line
// end. Reading the text gives every paragraph end back as a carriage return. A carriage return followed
// by a line feed is kept as two paragraph ends, so that no offset ever shifts.
//
// The box is read-only to the operator: its text changes only through these operations, so offsets
// that a caller records stay valid for as long as text is only added at the end.
class RichTextBox : public QWidget {
public:
    explicit RichTextBox(QWidget* parent = nullptr);

    // Whole-text operations. setText() replaces everything; the new text shows in the default colour.
    QString text() const;
    void setText(const QString& text);
    int textLength() const;

    // The selection. setSelStart() collapses the selection at the offset; setSelLength() extends it from
    // there; setSelColor() colours what it covers. Offsets past either end are clamped to the text. The
    // view follows the selection's end, and shows the very end of the text when the selection reaches it.
    void setSelStart(int offset);
    void setSelLength(int length);
    void setSelColor(const QColor& color);
    int selStart() const;
    int selLength() const;

    // Cheap operations whose cost does not grow with the text. append() adds text at the end, in the
    // given colour or else the default one, and lays out only the paragraphs it touches. setSelection()
    // does what setSelStart() and setSelLength() do together, with one update of the view.
    void append(const QString& text, const std::optional<QColor>& color = std::nullopt);
    void colorRange(int start, int length, const QColor& color);
    void resetColor(int start, int length);
    void setSelection(int start, int length);

    // The colour of one character; empty while it shows in the default colour.
    std::optional<QColor> colorAt(int offset) const;

    // The mapping between offsets and paragraphs. positionOf() clamps the offset to the text; offsetOf()
    // gives -1 for a place the text does not have.
    TextPosition positionOf(int offset) const;
    int offsetOf(TextPosition position) const;

private:
    QPlainTextEdit* m_edit;

    int clamped(int offset) const;
    void select(int anchor, int position);
};

} // namespace qt2xx
