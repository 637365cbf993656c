#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace qt2xx {

// The file dialog that the OPEN and STORE commands share. Its properties keep their values from one
// show to the next; showOpen and showSave run it modally and give the full path of the chosen file.
// A cancel gives nothing when cancelError is set, and an empty path otherwise.
class FileDialog {
public:
    static constexpr std::uint32_t kOverwritePrompt = 0x2; // the save dialog asks before replacing a file
    static constexpr std::uint32_t kLongNames = 0x200000;  // every platform we run on has them

    // One entry of a filter: what the operator reads and the name patterns it lists.
    struct FilterEntry {
        QString description;
        QStringList patterns;
    };

    virtual ~FileDialog() = default;

    std::uint32_t flags() const { return m_flags; }
    void setFlags(std::uint32_t flags) { m_flags = flags; }
    bool cancelError() const { return m_cancelError; }
    void setCancelError(bool cancelError) { m_cancelError = cancelError; }
    // Pairs of description and patterns, all separated by '|'; patterns within a pair by ';'.
    const QString& filter() const { return m_filter; }
    void setFilter(const QString& filter) { m_filter = filter; }
    // The preset text of the name field before a show, the chosen full path after one.
    const QString& fileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }

    std::optional<QString> showOpen() { return show(Mode::Open); }
    std::optional<QString> showSave() { return show(Mode::Save); }

    // The entries of a filter. Blanks around a pattern are dropped, so " *.asv" lists "*.asv";
    // a description without patterns is left out.
    static QList<FilterEntry> filterEntries(const QString& filter) {
        QList<FilterEntry> entries;
        const QStringList parts = filter.split(QLatin1Char('|'));
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
            FilterEntry entry{parts[i].trimmed(), {}};
            for (const QString& pattern : parts[i + 1].split(QLatin1Char(';')))
                if (!pattern.trimmed().isEmpty())
                    entry.patterns.append(pattern.trimmed());
            if (!entry.patterns.isEmpty())
                entries.append(entry);
        }
        return entries;
    }

protected:
    enum class Mode { Open, Save };

    // Shows the dialog with the current properties; the chosen full path, or nothing on cancel.
    virtual std::optional<QString> run(Mode mode) = 0;

private:
    std::optional<QString> show(Mode mode) {
        std::optional<QString> path = run(mode);
        if (!path)
            return m_cancelError ? std::nullopt : std::optional<QString>(QString());
        m_fileName = *path;
        return path;
    }

    std::uint32_t m_flags = 0;
    bool m_cancelError = false;
    QString m_filter;
    QString m_fileName;
};

} // namespace qt2xx
