#pragma once

#include "platform/core/MessageBox.h"

class QWidget;

namespace qt2xx {

// The message box over QMessageBox: modal to its parent, one OK button, no icon, the application's
// title. Both texts are shown as plain text, the informative one as a smaller second paragraph.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr);

    void show(const QString& text, const QString& informative = QString()) override;

private:
    QWidget* m_parent;
};

} // namespace qt2xx
