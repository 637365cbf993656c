#include "platform/widgets/QtFileDialog.h"

#include <QFileDialog>

namespace qt2xx {

QtFileDialog::QtFileDialog(QWidget* parent) : m_parent(parent) {}

QStringList QtFileDialog::nameFilters(const QString& filter) {
    QStringList filters;
    for (const FilterEntry& entry : filterEntries(filter))
        filters.append(
            QStringLiteral("%1 (%2)").arg(entry.description, entry.patterns.join(QLatin1Char(' '))));
    return filters;
}

std::optional<QString> QtFileDialog::run(Mode mode) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(mode == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (flags() & kOverwritePrompt) == 0);
    const QStringList filters = nameFilters(filter());
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!fileName().isEmpty())
        dialog.selectFile(fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace qt2xx
