#include "platform/widgets/RichTextBox.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace qt2xx {

namespace {

constexpr QChar kCarriageReturn = u'\r';

// QTextCursor::insertText() turns a carriage return and a line feed that follows it into a single
// paragraph end, which would shift every later offset by one. A line feed written as a paragraph
// separator stays a paragraph end of its own.
QString documentText(const QString& text) {
    QString result = text;
    result.replace(u'\n', QChar::ParagraphSeparator);
    return result;
}

QTextCharFormat colorFormat(const QColor& color) {
    QTextCharFormat format;
    format.setForeground(color);
    return format;
}

std::optional<QColor> foregroundOf(const QTextCharFormat& format) {
    if (!format.hasProperty(QTextFormat::ForegroundBrush))
        return std::nullopt;
    return format.foreground().color();
}

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QWidget(parent), m_edit(new QPlainTextEdit(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    m_edit->setReadOnly(true);
    // The text only ever grows; an undo history would keep a second copy of it.
    m_edit->setUndoRedoEnabled(false);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setFocusProxy(m_edit);
}

QString RichTextBox::text() const {
    QString text = m_edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, kCarriageReturn);
    return text;
}

void RichTextBox::setText(const QString& text) {
    QTextCursor cursor(m_edit->document());
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    append(text);
    setSelection(0, 0);
}

int RichTextBox::textLength() const {
    // The document counts one more position: the end of its last, open paragraph.
    return m_edit->document()->characterCount() - 1;
}

void RichTextBox::setSelStart(int offset) {
    setSelection(offset, 0);
}

void RichTextBox::setSelLength(int length) {
    setSelection(selStart(), length);
}

void RichTextBox::setSelColor(const QColor& color) {
    colorRange(selStart(), selLength(), color);
}

int RichTextBox::selStart() const {
    return m_edit->textCursor().selectionStart();
}

int RichTextBox::selLength() const {
    const QTextCursor cursor = m_edit->textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

void RichTextBox::append(const QString& text, const std::optional<QColor>& color) {
    QTextCursor cursor(m_edit->document());
    cursor.movePosition(QTextCursor::End);
    // Always an explicit format: the cursor would otherwise carry on the colour of the character before.
    cursor.insertText(documentText(text), color ? colorFormat(*color) : QTextCharFormat());
}

void RichTextBox::colorRange(int start, int length, const QColor& color) {
    QTextCursor cursor(m_edit->document());
    cursor.setPosition(clamped(start));
    cursor.setPosition(clamped(start + length), QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(colorFormat(color));
}

void RichTextBox::resetColor(int start, int length) {
    QTextCursor cursor(m_edit->document());
    cursor.setPosition(clamped(start));
    cursor.setPosition(clamped(start + length), QTextCursor::KeepAnchor);
    // Colour is the only character property this box ever sets, so the plain format is the default.
    cursor.setCharFormat(QTextCharFormat());
}

void RichTextBox::setSelection(int start, int length) {
    const int anchor = clamped(start);
    select(anchor, clamped(anchor + std::max(length, 0)));
}

std::optional<QColor> RichTextBox::colorAt(int offset) const {
    if (offset < 0 || offset >= textLength())
        return std::nullopt;
    const QTextBlock block = m_edit->document()->findBlock(offset);
    // A paragraph end's format is kept by the document as the character format of the next paragraph.
    if (offset == block.position() + block.length() - 1)
        return foregroundOf(block.next().charFormat());
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.contains(offset))
            return foregroundOf(fragment.charFormat());
    }
    return std::nullopt;
}

TextPosition RichTextBox::positionOf(int offset) const {
    const QTextBlock block = m_edit->document()->findBlock(clamped(offset));
    return {block.blockNumber(), clamped(offset) - block.position()};
}

int RichTextBox::offsetOf(TextPosition position) const {
    const QTextBlock block = m_edit->document()->findBlockByNumber(position.paragraph);
    if (!block.isValid() || position.column < 0 || position.column >= block.length())
        return -1;
    return block.position() + position.column;
}

int RichTextBox::clamped(int offset) const {
    return std::clamp(offset, 0, textLength());
}

void RichTextBox::select(int anchor, int position) {
    QTextCursor cursor = m_edit->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    // Setting the cursor also scrolls its end into view, which keeps the newest line shown.
    m_edit->setTextCursor(cursor);
    // That stops at the line itself; at the end of the text the document's bottom margin shows too.
    if (position == textLength()) {
        QScrollBar* bar = m_edit->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

} // namespace qt2xx
