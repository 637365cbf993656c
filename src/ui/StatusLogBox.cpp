#include "ui/StatusLogBox.h"

#include "platform/widgets/RichTextBox.h"
#include "ui/Fonts.h"

#include <QFont>
#include <QStringList>

namespace qt2xx {

namespace {

constexpr int kLogFontPointSize = 9;

QFont logFont() {
    QFont font;
    font.setFamilies(CjkFontFamilies()); // like the rest of the window
    font.setPointSize(kLogFontPointSize);
    return font;
}

} // namespace

std::optional<QColor> logColorOf(int intColor) {
    switch (intColor) {
    case kLogGreen:
        return QColor(0, 255, 0);
    case kLogRed:
        return QColor(255, 0, 0);
    case kLogBlue:
        return QColor(0, 0, 255);
    default:
        return std::nullopt;
    }
}

StatusLogBox::StatusLogBox(RichTextBox& box) : m_box(box) {
    m_box.setFont(logFont());
}

void StatusLogBox::ReceiveDisplay(const QString& strAdd, LogColor intColor) {
    if (m_markCount == kColorMarkCount)
        forgetMarks();
    const int start = m_box.textLength();
    m_lngColorMarks[m_markCount++] = {start, intColor};
    m_box.append(strAdd + u'\r', logColorOf(intColor));
    m_box.setSelection(start, m_box.textLength() - start);
}

void StatusLogBox::reset() {
    m_box.setText(QString());
    m_markCount = 0;
}

std::span<const ColorMark> StatusLogBox::lngColorMarks() const {
    return std::span<const ColorMark>(m_lngColorMarks).first(m_markCount);
}

// Only the messages of the marks being forgotten can still be coloured: they run from the first
// mark's start to the end of the text.
void StatusLogBox::forgetMarks() {
    const int from = m_lngColorMarks.front().start;
    m_box.resetColor(from, m_box.textLength() - from);
    m_markCount = 0;
}

} // namespace qt2xx
