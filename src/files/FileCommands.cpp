#include "files/FileCommands.h"

#include "files/AsvFormat.h"
#include "platform/core/FileDialog.h"
#include "platform/core/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdint>
#include <vector>

namespace qt2xx {
namespace {

const QString kFilter = QStringLiteral("*.asv| *.asv");
const QString kPresetName = QStringLiteral("*.asv");
constexpr std::uint32_t kDialogFlags = FileDialog::kOverwritePrompt | FileDialog::kLongNames;

// A stored set is well under a kilobyte; the limit only keeps a wrong choice of file from filling
// the memory.
constexpr qint64 kReadLimitMiB = 16;
constexpr qint64 kReadLimit = kReadLimitMiB * 1024 * 1024;

QString details(const QString& path, const QString& reason) {
    return QDir::toNativeSeparators(path) + QLatin1Char('\n') + reason;
}

// The first 27 fields of the file: the 26 parameters and a 27th, if any. A device or a pipe is
// refused before it is opened, since reading one may never end.
std::optional<std::vector<AsvField>> readParameterFields(const QString& path, QString& reason) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        reason = QStringLiteral("It is not a regular file.");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kReadLimit);
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return std::nullopt;
    }
    std::vector<AsvField> fields = ReadAsvFields(bytes, kParameterCount + 1);
    // A 27th field that begins inside the limit proves the first 26 were read whole.
    if (!file.atEnd() && fields.size() <= size_t(kParameterCount)) {
        reason = QStringLiteral("Its first %1 MiB do not hold the %2 parameters.")
                     .arg(kReadLimitMiB)
                     .arg(kParameterCount);
        return std::nullopt;
    }
    return fields;
}

} // namespace

FileCommands::FileCommands(ParameterLists& lists, FileDialog& dialog, MessageBox& messages,
                           ParameterValues& values, const RunState& run)
    : m_lists(lists), m_dialog(dialog), m_messages(messages), m_values(values), m_run(run) {}

void FileCommands::initialiseDialog() {
    m_dialog.setFlags(kDialogFlags);
    m_dialog.setCancelError(true);
}

void FileCommands::OpenFile_Click() {
    if (m_run.intCommFlag() != CommFlag::Idle) {
        m_messages.show(kOpenDuringRunMessage);
        return;
    }
    const std::optional<QString> path = showDialog(false);
    if (!path)
        return;
    m_strFileDirectary = *path;
    m_lists.setLoadDirText(*path);
    loadFile(*path);
}

void FileCommands::StoreFile_Click() {
    if (CaptureParameterValues(m_values, [this](int index) { return m_lists.comboText(index); })) {
        m_messages.show(kBlankParameterMessage);
        return;
    }
    const std::optional<QString> path = showDialog(true);
    if (!path)
        return;
    m_strFileDirectary = *path;
    m_lists.setSaveDirText(*path);
    storeFile(*path);
}

// Nothing, or an empty path from a dialog without cancelError, both mean the operator cancelled.
std::optional<QString> FileCommands::showDialog(bool save) {
    m_dialog.setFilter(kFilter);
    m_dialog.setFileName(kPresetName);
    const std::optional<QString> path = save ? m_dialog.showSave() : m_dialog.showOpen();
    if (!path || path->isEmpty())
        return std::nullopt;
    return path;
}

// Either every list takes its field or none does: the whole file is read and matched first.
void FileCommands::loadFile(const QString& path) {
    QString reason;
    const std::optional<std::vector<AsvField>> fields = readParameterFields(path, reason);
    if (!fields) {
        m_messages.show(kCanNotOpenMessage, details(path, reason) + QLatin1Char('\n') + kListsKeptNote);
        return;
    }
    const AsvReadResult read = ReadAsvParameterSet(*fields);
    if (!read.set) {
        m_messages.show(kCanNotOpenMessage,
                        details(path, read.problem.message()) + QLatin1Char('\n') + kListsKeptNote);
        return;
    }
    // The 27th field, if any, lands in slot 26, which nothing reads.
    for (size_t i = 0; i < fields->size(); ++i)
        m_values[i] = (*fields)[i].text;
    ParameterValues selected{};
    for (int i = 0; i < kParameterCount; ++i) {
        m_lists.selectChoice(i, read.set->choice[i]);
        selected[i] = read.set->text(i);
    }
    m_openedPath = path;
    m_openedSet = WriteAsv(selected);
}

// The set is written beside the file and replaces it only once complete, so a failure leaves the
// file as it was. In a folder where no file may be made but the set itself may be written, it is
// written in place, as the operator asked for, at the risk of a partial file if writing fails.
void FileCommands::storeFile(const QString& path) {
    const QByteArray bytes = WriteAsv(m_values);
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    // Each step is named, since the system's own reason can be as bare as "Unknown error".
    QString step;
    if (!file.open(QIODevice::WriteOnly))
        step = QStringLiteral("It can not be created");
    else if (file.write(bytes) != bytes.size())
        step = QStringLiteral("It can not be written");
    else if (!file.commit())
        step = QStringLiteral("The written set can not be put in its place");
    if (!step.isEmpty())
        m_messages.show(kCanNotStoreMessage,
                        details(path, QStringLiteral("%1: %2.").arg(step, file.errorString())));
}

} // namespace qt2xx
