#pragma once

#include "link/TransmitWindow.h"
#include "platform/widgets/RichTextBox.h"

#include <QColor>

#include <array>
#include <optional>

namespace qt2xx {

// The status log exactly as first designed: every message replaces the whole text, which drops all
// colour, and then the one to four remembered marks are coloured again through the selection. Its cost
// grows with the text; it is the yardstick for the constant-cost log and is used nowhere else.
class LiteralStatusLog : public StatusLog {
public:
    explicit LiteralStatusLog(RichTextBox& box) : m_box(box) {}

    void ReceiveDisplay(const QString& strAdd, LogColor intColor) override {
        if (m_count < 4)
            ++m_count;
        else
            m_count = 1;
        m_marks[m_count - 1] = {int(m_box.text().size()), intColor};
        m_box.setText(m_box.text() + strAdd + QChar(13));
        for (int i = 0; i < m_count; ++i) {
            const int end = i + 1 < m_count ? m_marks[i + 1].start : int(m_box.text().size());
            m_box.setSelStart(m_marks[i].start);
            m_box.setSelLength(end - m_marks[i].start);
            if (const std::optional<QColor> color = colorOf(m_marks[i].code))
                m_box.setSelColor(*color);
        }
    }

private:
    struct Mark {
        int start = 0;
        int code = 0;
    };

    RichTextBox& m_box;
    std::array<Mark, 4> m_marks{};
    int m_count = 0;

    static std::optional<QColor> colorOf(int code) {
        switch (code) {
        case 1:
            return QColor(0, 255, 0);
        case 2:
            return QColor(255, 0, 0);
        case 3:
            return QColor(0, 0, 255);
        default:
            return std::nullopt;
        }
    }
};

} // namespace qt2xx
