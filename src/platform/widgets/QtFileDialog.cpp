#include "platform/widgets/QtFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qt2xx {
namespace {

bool isPattern(const QString& name) {
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// A name with a wildcard, accepted by the operator, lists the names it matches instead of being
// taken as a file: the dialog stays open, in the folder the name points into.
class PatternFileDialog final : public QFileDialog {
public:
    explicit PatternFileDialog(QWidget* parent) : QFileDialog(parent) {
        // The pattern is handled here, which a dialog drawn by the desktop would bypass.
        setOption(QFileDialog::DontUseNativeDialog);
    }

    void setFilters(const QStringList& filters) {
        m_filters = filters;
        if (!filters.isEmpty())
            setNameFilters(filters);
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        const QFileInfo info(chosen.isEmpty() ? QString() : chosen.constFirst());
        if (!isPattern(info.fileName())) {
            QFileDialog::accept();
            return;
        }
        if (QFileInfo(info.path()).isDir())
            setDirectory(info.path());
        listMatches(info.fileName());
    }

private:
    // The pattern shows as the chosen entry of the type list, ahead of the entries it was given
    // unless it is one of them.
    void listMatches(const QString& pattern) {
        const QString entry = QStringLiteral("%1 (%1)").arg(pattern);
        setNameFilters(m_filters.contains(entry) ? m_filters : QStringList{entry} + m_filters);
        selectNameFilter(entry);
    }

    QStringList m_filters;
};

} // namespace

QtFileDialog::QtFileDialog(QWidget* parent) : m_parent(parent) {}

QStringList QtFileDialog::nameFilters(const QString& filter) {
    QStringList filters;
    for (const FilterEntry& entry : filterEntries(filter))
        filters.append(
            QStringLiteral("%1 (%2)").arg(entry.description, entry.patterns.join(QLatin1Char(' '))));
    return filters;
}

std::optional<QString> QtFileDialog::run(Mode mode) {
    PatternFileDialog dialog(m_parent);
    dialog.setAcceptMode(mode == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (flags() & kOverwritePrompt) == 0);
    dialog.setFilters(nameFilters(filter()));
    if (!fileName().isEmpty())
        dialog.selectFile(fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace qt2xx
