// STORE as an operator without the right to create files in the folder: the set is replaced safely
// wherever a file may be made beside it, written in place where only the file itself is writable,
// and refused with its reason where neither is.

#include "files/AsvFormat.h"
#include "files/FileCommands.h"
#include "params/ParameterTable.h"
#include "platform/core/FileDialog.h"
#include "platform/core/MessageBox.h"
#include "support/Recorders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qt2xx;

namespace {

class AllFirstChoices : public ParameterLists {
public:
    QString comboText(int index) const override { return ParameterTable()[index].choices.constFirst(); }
    void selectChoice(int, int) override {}
    void setLoadDirText(const QString&) override {}
    void setSaveDirText(const QString&) override {}
};

class FixedDialog : public FileDialog {
public:
    explicit FixedDialog(QString path) : m_path(std::move(path)) {}

protected:
    std::optional<QString> run(Mode) override { return m_path; }

private:
    QString m_path;
};

class IdleRun : public RunState {
public:
    CommFlag intCommFlag() const override { return CommFlag::Idle; }
};

QByteArray storedSet() {
    ParameterValues values;
    AllFirstChoices lists;
    CaptureParameterValues(values, [&lists](int index) { return lists.comboText(index); });
    return WriteAsv(values);
}

bool setMode(const QString& path, mode_t mode) {
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// Runs STORE to `path` in a child process that, when this one is root, has given up root for the
// unprivileged user `nobody`, since permissions do not bind root. Gives the message shown, if any.
std::optional<QString> storeAsOperator(const QString& path) {
    int channel[2];
    if (pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                setuid(nobody->pw_uid) != 0)
                _exit(3);
        }
        AllFirstChoices lists;
        FixedDialog dialog(path);
        test::RecordingMessageBox messages;
        ParameterValues values;
        IdleRun run;
        FileCommands commands(lists, dialog, messages, values, run);
        commands.initialiseDialog();
        commands.StoreFile_Click();
        const QByteArray text =
            messages.shown.isEmpty()
                ? QByteArray()
                : (messages.shown.last().text + QLatin1Char('\n') + messages.shown.last().informative)
                      .toUtf8();
        const bool sent = write(channel[1], text.constData(), size_t(text.size())) == text.size();
        _exit(sent ? 0 : 4);
    }
    close(channel[1]);
    QByteArray text;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return QString::fromUtf8(text);
}

ino_t inodeOf(const QString& path) {
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class StorePermissionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void store_data();
    void store();
};

void StorePermissionsTest::store_data() {
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("replaced");   // a new file took the old one's place
    QTest::addColumn<QString>("refusal"); // empty when the set is stored

    QTest::newRow("folder writable: replaced whole") << 0777 << 0666 << true << QString();
    QTest::newRow("only the file writable: written in place") << 0555 << 0666 << false << QString();
    QTest::newRow("neither writable: refused, file kept")
        << 0555 << 0444 << false << QStringLiteral("It can not be created: ");
}

void StorePermissionsTest::store() {
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(bool, replaced);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sets"));
    const QString path = folder + QStringLiteral("/bench.asv");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray old = QByteArray("an older, longer set\r\n").repeated(20);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    }
    QVERIFY(setMode(dir.path(), 0755));
    QVERIFY(setMode(path, mode_t(fileMode)));
    QVERIFY(setMode(folder, mode_t(folderMode)));
    const ino_t before = inodeOf(path);

    const std::optional<QString> message = storeAsOperator(path);
    setMode(folder, 0755);

    QVERIFY2(message, "the child process could not run STORE");
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"bench.asv"});
    if (refusal.isEmpty()) {
        QCOMPARE(*message, QString());
        QCOMPARE(contents(path), storedSet());
        QCOMPARE(inodeOf(path) != before, replaced);
    } else {
        QVERIFY2(message->contains(QDir::toNativeSeparators(path)), qPrintable(*message));
        QVERIFY2(message->contains(refusal), qPrintable(*message));
        QCOMPARE(contents(path), old);
    }
}

QTEST_GUILESS_MAIN(StorePermissionsTest)
#include "tst_store_permissions.moc"
