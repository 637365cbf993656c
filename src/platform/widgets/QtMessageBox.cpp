#include "platform/widgets/QtMessageBox.h"

#include <QLabel>
#include <QMessageBox>

namespace qt2xx {

namespace {

constexpr double kInformativeFontScale = 0.85;

// QMessageBox offers no accessor for the label of its informative text; it names it, though.
void styleInformativeLabel(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    if (label == nullptr)
        return;
    // A device name or a system's reason is never markup.
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * kInformativeFontScale);
    label->setFont(font);
}

} // namespace

QtMessageBox::QtMessageBox(QWidget* parent) : m_parent(parent) {}

void QtMessageBox::show(const QString& text, const QString& informative) {
    QMessageBox box(m_parent);
    box.setWindowTitle(kApplicationTitle);
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    if (!informative.isEmpty()) {
        box.setInformativeText(informative);
        styleInformativeLabel(box);
    }
    box.exec();
}

} // namespace qt2xx
