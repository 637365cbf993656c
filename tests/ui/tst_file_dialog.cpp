// The real file dialog as the operator drives it: a name with a wildcard filters the listing and is
// never handed back as a path.

#include "support/WindowHarness.h"

#include "platform/widgets/QtFileDialog.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

QFileDialog* openDialog() {
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
}

// Types a name into the dialog's name field and presses its own accept button.
void acceptName(QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, name);
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QPushButton* accept = buttons->button(
        dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save : QDialogButtonBox::Open);
    QVERIFY(accept && accept->isEnabled());
    QTest::mouseClick(accept, Qt::LeftButton);
}

// The names the dialog lists in its folder as the operator can pick them; folders always show.
QStringList listedNames(QFileDialog* dialog) {
    auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QStringList names;
    if (!view)
        return names;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex index = view->model()->index(row, 0, root);
        if (view->model()->flags(index) & Qt::ItemIsEnabled)
            names << index.data().toString();
    }
    names.sort();
    return names;
}

// Runs `operate` once the dialog is up; it must leave the dialog closed.
void whenDialogShows(const std::function<void(QFileDialog*)>& operate) {
    QTimer::singleShot(0, [operate] {
        QTRY_VERIFY(openDialog());
        operate(openDialog());
        if (openDialog())
            openDialog()->reject();
    });
}

// The dialog remembers the last folder it was in; each row starts in the same one.
void filtersWithWildcards(QFileDialog* dialog, const QString& folder, const QString& keep) {
    dialog->setDirectory(folder);
    acceptName(dialog, QStringLiteral("*.asv"));
    QCOMPARE(openDialog(), dialog);
    QTRY_COMPARE(listedNames(dialog), (QStringList{"a.asv", "b.asv", "sub"}));
    acceptName(dialog, QStringLiteral("?.txt"));
    QCOMPARE(openDialog(), dialog);
    QTRY_COMPARE(listedNames(dialog), (QStringList{"c.txt", "sub"}));
    acceptName(dialog, QStringLiteral("sub/*"));
    QCOMPARE(openDialog(), dialog);
    QTRY_COMPARE(listedNames(dialog), QStringList{"d.asv"});
    QCOMPARE(QFileInfo(dialog->directory().path()).fileName(), QStringLiteral("sub"));
    acceptName(dialog, keep);
}

} // namespace

class FileDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void wildcardNameFilters_data();
    void wildcardNameFilters();
    void commandsNeverReceiveAPattern_data();
    void commandsNeverReceiveAPattern();

private:
    QTemporaryDir m_dir;
};

// The dialog opens in the working folder, since it is given no start folder.
void FileDialogTest::init() {
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QDir(m_dir.path()).mkpath(QStringLiteral("sub"));
    for (const char* name : {"a.asv", "b.asv", "c.txt", "sub/d.asv"}) {
        QFile file(m_dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
}

void FileDialogTest::wildcardNameFilters_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

// After the patterns, a plain name is still taken and returned whole.
void FileDialogTest::wildcardNameFilters() {
    QFETCH(bool, save);
    QtFileDialog files(nullptr);
    files.setFlags(FileDialog::kOverwritePrompt | FileDialog::kLongNames);
    files.setCancelError(true);
    files.setFilter(QStringLiteral("*.asv| *.asv"));
    files.setFileName(QStringLiteral("*.asv"));
    whenDialogShows([this](QFileDialog* dialog) {
        filtersWithWildcards(dialog, m_dir.path(), QStringLiteral("new.asv"));
    });
    const std::optional<QString> path = save ? files.showSave() : files.showOpen();
    QCOMPARE(path, std::optional<QString>(m_dir.filePath(QStringLiteral("sub/new.asv"))));
}

void FileDialogTest::commandsNeverReceiveAPattern_data() {
    QTest::addColumn<bool>("store");
    QTest::newRow("OPEN") << false;
    QTest::newRow("STORE") << true;
}

// The untouched preset, accepted and then cancelled, reaches no command.
void FileDialogTest::commandsNeverReceiveAPattern() {
    QFETCH(bool, store);
    auto* messages = new RecordingMessageBox;
    frmMain window(std::unique_ptr<MessageBox>(messages), nullptr);
    for (int i = 0; i < kParameterCount; ++i)
        window.findChild<QComboBox*>(ParameterListName(i))->setCurrentIndex(0);
    whenDialogShows([](QFileDialog* dialog) {
        acceptName(dialog, QStringLiteral("*.asv"));
        QCOMPARE(openDialog(), dialog);
    });
    (store ? window.StoreFile() : window.OpenFile())->trigger();
    QVERIFY(!openDialog());
    QCOMPARE(messages->texts(), QStringList());
    QCOMPARE(window.strFileDirectary(), QString());
    QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("txtLoadDir"))->text(), QString());
    QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("txtSaveDir"))->text(), QString());
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), (QStringList{"a.asv", "b.asv", "c.txt"}));
}

QTEST_MAIN(FileDialogTest)
#include "tst_file_dialog.moc"
