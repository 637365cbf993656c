#pragma once

#include "link/CommFlag.h"
#include "params/ParameterValues.h"

#include <QString>

#include <optional>

namespace qt2xx {

class FileDialog;
class MessageBox;

// The message boxes of OPEN and STORE. A box that names a file says which file and why in its second
// paragraph.
inline const QString kOpenDuringRunMessage =
    QStringLiteral("The Transmit is Prossessing\uFF0Ccan not open file");
inline const QString kCanNotOpenMessage = QStringLiteral("Can not open file");
inline const QString kCanNotStoreMessage = QStringLiteral("Can not store file");
// The last line of a refused OPEN's second paragraph.
inline const QString kListsKeptNote = QStringLiteral("The parameter lists keep their selections.");

// What the file commands read and set on the window.
class ParameterLists {
public:
    virtual ~ParameterLists() = default;
    virtual QString comboText(int index) const = 0;       // text of Combo1(index), empty when none
    virtual void selectChoice(int index, int choice) = 0; // Combo1(index) selects item `choice`
    virtual void setLoadDirText(const QString& path) = 0; // txtLoadDir
    virtual void setSaveDirText(const QString& path) = 0; // txtSaveDir
};

// The OPEN and STORE menu commands. STORE writes the 26 selections to a file and replaces the
// chosen file only once the whole set is written; OPEN selects a stored set again, all of it or,
// when the file does not hold a complete set, none of it. Every failure after the dialog is shown
// in a message box naming the file and the reason.
class FileCommands {
public:
    FileCommands(ParameterLists& lists, FileDialog& dialog, MessageBox& messages, ParameterValues& values,
                 const RunState& run);

    void initialiseDialog(); // once, while the window loads
    void OpenFile_Click();
    void StoreFile_Click();
    // The full path the last completed dialog of either command returned; empty until then.
    const QString& strFileDirectary() const { return m_strFileDirectary; }
    // The file the last successful OPEN loaded, and the bytes STORE writes for the set it selected;
    // both empty until then.
    const QString& openedPath() const { return m_openedPath; }
    const QByteArray& openedSet() const { return m_openedSet; }

private:
    std::optional<QString> showDialog(bool save);
    void loadFile(const QString& path);
    void storeFile(const QString& path);

    ParameterLists& m_lists;
    FileDialog& m_dialog;
    MessageBox& m_messages;
    ParameterValues& m_values;
    const RunState& m_run;
    QString m_strFileDirectary;
    QString m_openedPath;
    QByteArray m_openedSet;
};

} // namespace qt2xx
