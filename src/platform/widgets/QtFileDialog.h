#pragma once

#include "platform/core/FileDialog.h"

class QWidget;

namespace qt2xx {

// The file dialog over QFileDialog. Only the properties of FileDialog are set: no title, no start
// folder and no default suffix, so a name typed without ".asv" is used as typed, and the open
// dialog accepts a name that does not exist yet.
class QtFileDialog final : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent);

    // The filter as QFileDialog takes it: "*.asv| *.asv" becomes "*.asv (*.asv)".
    static QStringList nameFilters(const QString& filter);

protected:
    std::optional<QString> run(Mode mode) override;

private:
    QWidget* m_parent; // the window, which owns this dialog
};

} // namespace qt2xx
