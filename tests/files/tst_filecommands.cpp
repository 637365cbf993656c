#include "files/AsvFormat.h"
#include "files/FileCommands.h"
#include "params/ParameterTable.h"
#include "platform/core/FileDialog.h"
#include "platform/core/MessageBox.h"
#include "support/Lines.h"
#include "support/Recorders.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace qt2xx;

namespace {

using Choices = QList<int>; // the selected item of each list, -1 for none

class FakeLists : public ParameterLists {
public:
    Choices selected = Choices(kParameterCount, -1);
    QString loadDir = QStringLiteral("old load dir");
    QString saveDir = QStringLiteral("old save dir");

    QString comboText(int index) const override {
        return selected[index] < 0 ? QString() : ParameterTable()[index].choices[selected[index]];
    }
    void selectChoice(int index, int choice) override { selected[index] = choice; }
    void setLoadDirText(const QString& path) override { loadDir = path; }
    void setSaveDirText(const QString& path) override { saveDir = path; }
};

class FakeDialog : public FileDialog {
public:
    struct Show {
        bool save;
        QString filter;
        QString fileName;
    };
    std::optional<QString> answer; // nothing: the operator cancels
    QList<Show> shows;

protected:
    std::optional<QString> run(Mode mode) override {
        shows.append({mode == Mode::Save, filter(), fileName()});
        return answer;
    }
};

// A run that stays where the test puts it.
struct FixedRun : RunState {
    CommFlag intCommFlag() const override { return flag; }
    CommFlag flag = CommFlag::Idle;
};

struct Bench {
    FakeLists lists;
    FakeDialog dialog;
    test::RecordingMessageBox messages;
    ParameterValues values;
    FixedRun run;
    FileCommands commands{lists, dialog, messages, values, run};

    Bench() { commands.initialiseDialog(); }
};

Choices randomChoices(QRandomGenerator& random) {
    Choices choices;
    for (const ParameterDef& def : ParameterTable())
        choices.append(random.bounded(int(def.choices.size())));
    return choices;
}

Choices lastChoices() {
    Choices choices;
    for (const ParameterDef& def : ParameterTable())
        choices.append(int(def.choices.size()) - 1);
    return choices;
}

// The first choice of each list but Sensor Degree's "1:60  Degree"; Phase Current is "30     ".
Choices referenceChoices() {
    Choices choices(kParameterCount, 0);
    choices[23] = 1;
    return choices;
}

QList<QByteArray> linesOf(const Choices& choices) {
    QList<QByteArray> lines;
    for (int i = 0; i < kParameterCount; ++i)
        lines.append(ParameterTable()[i].choices[choices[i]].toLatin1());
    return lines;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList listing(const QString& dir) {
    QStringList names;
    for (QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        names.append(it.next());
    names.sort();
    return names;
}

} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dialogSettings();
    void filterEntries_data();
    void filterEntries();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void storeRefusesBlankParameter_data();
    void storeRefusesBlankParameter();
    void randomSetsRoundTrip();
    void storeDuringRun();
    void openDuringRunRefused_data();
    void openDuringRunRefused();
    void storeFailureKeepsOldFile_data();
    void storeFailureKeepsOldFile();
    void openOddFiles_data();
    void openOddFiles();

private:
    QTemporaryDir m_dir;
};

void TestFileCommands::dialogSettings() {
    Bench bench;
    QCOMPARE(bench.dialog.flags(), std::uint32_t(0x200002));
    QVERIFY(bench.dialog.cancelError());
    bench.lists.selected = referenceChoices();
    bench.dialog.answer = m_dir.filePath(QStringLiteral("settings.asv"));
    bench.commands.StoreFile_Click();
    bench.commands.OpenFile_Click();
    QCOMPARE(bench.dialog.fileName(), *bench.dialog.answer);
    bench.commands.OpenFile_Click();
    QCOMPARE(bench.dialog.shows.size(), 3);
    for (const FakeDialog::Show& show : bench.dialog.shows) {
        QCOMPARE(show.filter, QStringLiteral("*.asv| *.asv"));
        QCOMPARE(show.fileName, QStringLiteral("*.asv")); // preset again, not the last path
    }
    QVERIFY(bench.dialog.shows[0].save);
    QVERIFY(!bench.dialog.shows[1].save);
    QVERIFY(bench.messages.shown.isEmpty());
}

void TestFileCommands::filterEntries_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<QList<QStringList>>("patterns");

    QTest::newRow("asv filter: blank before the pattern dropped")
        << "*.asv| *.asv" << QStringList{"*.asv"} << QList<QStringList>{{"*.asv"}};
    QTest::newRow("two entries, two patterns") << "Sets|*.asv; *.ASV|All|*" << QStringList{"Sets", "All"}
                                               << QList<QStringList>{{"*.asv", "*.ASV"}, {"*"}};
    QTest::newRow("description without patterns left out")
        << "Sets|  |Lone" << QStringList{} << QList<QStringList>{};
}

void TestFileCommands::filterEntries() {
    QFETCH(QString, filter);
    QFETCH(QStringList, descriptions);
    QFETCH(QList<QStringList>, patterns);
    QStringList readDescriptions;
    QList<QStringList> readPatterns;
    for (const FileDialog::FilterEntry& entry : FileDialog::filterEntries(filter)) {
        readDescriptions.append(entry.description);
        readPatterns.append(entry.patterns);
    }
    QCOMPARE(readDescriptions, descriptions);
    QCOMPARE(readPatterns, patterns);
}

void TestFileCommands::cancelChangesNothing_data() {
    QTest::addColumn<bool>("store");
    QTest::addColumn<bool>("cancelError");

    QTest::newRow("store") << true << true;
    QTest::newRow("open") << false << true;
    QTest::newRow("store, cancel gives an empty path") << true << false;
    QTest::newRow("open, cancel gives an empty path") << false << false;
}

void TestFileCommands::cancelChangesNothing() {
    QFETCH(bool, store);
    QFETCH(bool, cancelError);
    Bench bench;
    bench.dialog.setCancelError(cancelError);
    bench.lists.selected = referenceChoices();
    const QStringList before = listing(m_dir.path());

    store ? bench.commands.StoreFile_Click() : bench.commands.OpenFile_Click();

    QCOMPARE(bench.dialog.shows.size(), 1);
    QCOMPARE(bench.lists.selected, referenceChoices());
    QCOMPARE(bench.lists.loadDir, QStringLiteral("old load dir"));
    QCOMPARE(bench.lists.saveDir, QStringLiteral("old save dir"));
    QCOMPARE(bench.commands.strFileDirectary(), QString());
    QVERIFY(bench.messages.shown.isEmpty());
    QCOMPARE(listing(m_dir.path()), before);
}

void TestFileCommands::storeRefusesBlankParameter_data() {
    QTest::addColumn<int>("blank");
    QTest::newRow("nothing selected") << 0;
    QTest::newRow("speed limit blank") << 5;
    QTest::newRow("last list blank") << 25;
}

void TestFileCommands::storeRefusesBlankParameter() {
    QFETCH(int, blank);
    Bench bench;
    bench.lists.selected = referenceChoices();
    for (int i = blank; i < kParameterCount; i += 2)
        bench.lists.selected[i] = -1;
    bench.values[kParameterCount - 1] = QStringLiteral("kept");

    bench.commands.StoreFile_Click();

    QCOMPARE(bench.messages.shown, (QList<test::ShownBox>{{kBlankParameterMessage, QString()}}));
    QVERIFY(bench.dialog.shows.isEmpty());
    QCOMPARE(bench.lists.saveDir, QStringLiteral("old save dir"));
    QCOMPARE(bench.commands.strFileDirectary(), QString());
    QCOMPARE(bench.values[blank], QString());
    if (blank > 0)
        QCOMPARE(bench.values[blank - 1], bench.lists.comboText(blank - 1));
    if (blank < kParameterCount - 1)
        QCOMPARE(bench.values[kParameterCount - 1], QStringLiteral("kept"));
}

void TestFileCommands::randomSetsRoundTrip() {
    QRandomGenerator random(20240607);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("round trip.asv"));
    QVERIFY(writeFile(path, QByteArray(4096, 'x'))); // an older, longer file is replaced entirely
    for (int n = 0; n < 200; ++n) {
        const Choices choices = n == 0 ? referenceChoices() : randomChoices(random);
        Bench bench;
        bench.lists.selected = choices;
        bench.dialog.answer = path;
        bench.commands.StoreFile_Click();

        const QList<QByteArray> lines = linesOf(choices);
        qsizetype textLength = 0;
        for (const QByteArray& line : lines)
            textLength += line.size();
        const QByteArray stored = contents(path);
        QCOMPARE(stored, test::JoinLines(lines));
        QCOMPARE(stored.size(), textLength + 52);
        QCOMPARE(bench.lists.saveDir, path);

        bench.lists.selected = lastChoices();
        bench.commands.OpenFile_Click();
        QCOMPARE(bench.lists.selected, choices);
        QCOMPARE(bench.lists.loadDir, path);
        QCOMPARE(bench.commands.strFileDirectary(), path);
        QVERIFY(bench.messages.shown.isEmpty());
    }
    QCOMPARE(listing(dir.path()), QStringList{path}); // no file left beside it
}

void TestFileCommands::storeDuringRun() {
    Bench bench;
    bench.run.flag = CommFlag::FrameSent;
    bench.lists.selected = referenceChoices();
    bench.dialog.answer = m_dir.filePath(QStringLiteral("during run.asv"));
    bench.commands.StoreFile_Click();
    QVERIFY(bench.messages.shown.isEmpty());
    QCOMPARE(contents(*bench.dialog.answer), test::JoinLines(linesOf(referenceChoices())));
    QCOMPARE(bench.run.flag, CommFlag::FrameSent);
    QFile::remove(*bench.dialog.answer);
}

void TestFileCommands::openDuringRunRefused_data() {
    QTest::addColumn<CommFlag>("intCommFlag");
    QTest::newRow("seeking") << CommFlag::Seeking;
    QTest::newRow("frame sent") << CommFlag::FrameSent;
    QTest::newRow("stored") << CommFlag::Stored;
    QTest::newRow("any other nonzero value") << CommFlag{-1};
}

void TestFileCommands::openDuringRunRefused() {
    QFETCH(CommFlag, intCommFlag);
    Bench bench;
    bench.run.flag = intCommFlag;
    bench.lists.selected = lastChoices();
    bench.dialog.answer = m_dir.filePath(QStringLiteral("never opened.asv"));
    bench.commands.OpenFile_Click();
    QCOMPARE(bench.messages.shown, (QList<test::ShownBox>{{kOpenDuringRunMessage, QString()}}));
    QVERIFY(bench.dialog.shows.isEmpty());
    QCOMPARE(bench.lists.selected, lastChoices());
    QCOMPARE(bench.lists.loadDir, QStringLiteral("old load dir"));
}

void TestFileCommands::storeFailureKeepsOldFile_data() {
    QTest::addColumn<QString>("target"); // where STORE writes, relative to a fresh folder
    QTest::addColumn<QString>("kept");   // what must stay byte for byte, relative to it
    QTest::addColumn<QString>("reason");

    // The file is written under a longer name beside the target, which the system refuses.
    const QString longName = QString(250, QLatin1Char('n'));
    QTest::newRow("path is a folder") << "set.asv"
                                      << "set.asv/inside"
                                      << "created: Filename refers to a directory";
    QTest::newRow("parent is a regular file") << "plain/set.asv"
                                              << "plain"
                                              << "created: Not a directory";
    QTest::newRow("name too long for the file written beside it")
        << longName << longName << "put in its place";
    QTest::newRow("read-only folder and file") << "locked/set.asv"
                                               << "locked/set.asv"
                                               << "created: Existing file";
}

void TestFileCommands::storeFailureKeepsOldFile() {
    QFETCH(QString, target);
    QFETCH(QString, kept);
    QFETCH(QString, reason);
    const bool chmodCase = target.startsWith(QLatin1String("locked/"));
    if (chmodCase && geteuid() == 0)
        QSKIP("root writes into a read-only folder; the other rows hold for root too");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QFileInfo(dir.filePath(kept)).path()));
    const QByteArray old = "old set\r\n";
    QVERIFY(writeFile(dir.filePath(kept), old));
    if (chmodCase) {
        QVERIFY(chmod(QFile::encodeName(dir.filePath(kept)).constData(), 0444) == 0);
        QVERIFY(chmod(QFile::encodeName(dir.filePath(QStringLiteral("locked"))).constData(), 0555) == 0);
    }
    const QStringList before = listing(dir.path());

    Bench bench;
    bench.lists.selected = referenceChoices();
    bench.dialog.answer = dir.filePath(target);
    bench.commands.StoreFile_Click();

    if (chmodCase)
        chmod(QFile::encodeName(dir.filePath(QStringLiteral("locked"))).constData(), 0755);
    QCOMPARE(bench.messages.shown.size(), 1);
    QCOMPARE(bench.messages.shown[0].text, kCanNotStoreMessage);
    const QStringList details = bench.messages.shown[0].informative.split(QLatin1Char('\n'));
    QCOMPARE(details.size(), 2);
    QCOMPARE(details[0], QDir::toNativeSeparators(dir.filePath(target)));
    QVERIFY2(details[1].contains(reason), qPrintable(details[1]));
    QCOMPARE(contents(dir.filePath(kept)), old);
    QCOMPARE(listing(dir.path()), before);
    QCOMPARE(bench.lists.saveDir, dir.filePath(target));
    QCOMPARE(bench.commands.strFileDirectary(), dir.filePath(target));
}

void TestFileCommands::openOddFiles_data() {
    QTest::addColumn<QString>("kind"); // "bytes": a file holding them; else "missing", "folder" or "fifo"
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Choices>("loaded");      // empty when the load is refused
    QTest::addColumn<QStringList>("reasons"); // each appears in the message's details
    QTest::addColumn<QString>("slot26");      // ParameterValues slot 26 after the command

    const QList<QByteArray> lines = linesOf(referenceChoices());
    const Choices reference = referenceChoices();
    const Choices none;
    auto with = [&lines](int index, const QByteArray& text) {
        QList<QByteArray> changed = lines;
        changed[index] = text;
        return changed;
    };
    QByteArray noise(10 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char& byte : noise)
        byte = char(random.bounded(256));

    QTest::newRow("stored set") << "bytes" << test::JoinLines(lines) << reference << QStringList{}
                                << "before";
    QTest::newRow("quoted item") << "bytes" << test::JoinLines(with(23, "\"1:60  Degree\"")) << reference
                                 << QStringList{} << "before";
    QList<QByteArray> handEdited = with(1, "30");
    handEdited[0] = "1:qt2a";
    QTest::newRow("hand-edited: 30 without blanks, lower case")
        << "bytes" << test::JoinLines(handEdited) << reference << QStringList{} << "before";
    QTest::newRow("LF only line ends")
        << "bytes" << test::JoinLines(lines, "\n") << reference << QStringList{} << "before";
    QTest::newRow("30 lines") << "bytes" << test::JoinLines(lines + QList<QByteArray>{"27th", "x", "y", "z"})
                              << reference << QStringList{} << "27th";
    QTest::newRow("short file") << "bytes" << test::JoinLines(lines.mid(0, 10)) << none
                                << QStringList{"10 of the 26", "Block Time(s)"} << "before";
    QTest::newRow("empty file") << "bytes" << QByteArray() << none << QStringList{"0 of the 26", "Board Type"}
                                << "before";
    QTest::newRow("bad third line") << "bytes" << test::JoinLines(with(2, "7.25")) << none
                                    << QStringList{"line 3: \"7.25\" is not a choice of Rated Current(A)"}
                                    << "before";
    QTest::newRow("comma inside the first line")
        << "bytes" << test::JoinLines(with(0, "1:QT2A,30")) << none
        << QStringList{"line 2: \"30     \" is not a choice of Rated Current(A)"} << "before";
    QTest::newRow("10 MB of noise") << "bytes" << noise << none << QStringList{"Board Type"} << "before";
    QTest::newRow("valid set, then more than the read limit")
        << "bytes" << test::JoinLines(lines) + QByteArray(17 * 1024 * 1024, '\n') << reference
        << QStringList{} << "";
    QTest::newRow("more than the read limit on one line")
        << "bytes" << QByteArray(17 * 1024 * 1024, ' ') << none << QStringList{"16 MiB"} << "before";
    QTest::newRow("missing file") << "missing" << QByteArray() << none << QStringList{"No such file"}
                                  << "before";
    QTest::newRow("folder") << "folder" << QByteArray() << none << QStringList{"directory"} << "before";
    QTest::newRow("pipe, which may never end")
        << "fifo" << QByteArray() << none << QStringList{"not a regular file"} << "before";
}

void TestFileCommands::openOddFiles() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(Choices, loaded);
    QFETCH(QStringList, reasons);
    QFETCH(QString, slot26);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.asv"));
    if (kind == QLatin1String("bytes"))
        QVERIFY(writeFile(path, bytes));
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("odd.asv")));
    else if (kind == QLatin1String("fifo"))
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);

    Bench bench;
    bench.lists.selected = lastChoices();
    bench.values.fill(QStringLiteral("before"));
    bench.dialog.answer = path;
    bench.commands.OpenFile_Click();

    QCOMPARE(bench.lists.loadDir, path);
    QCOMPARE(bench.commands.strFileDirectary(), path);
    QCOMPARE(bench.values[26], slot26);
    if (!loaded.isEmpty()) {
        QVERIFY(bench.messages.shown.isEmpty());
        QCOMPARE(bench.lists.selected, loaded);
        for (int i = 0; i < kParameterCount; ++i)
            QCOMPARE(MatchChoice(ParameterTable()[i].choices, bench.values[i]), loaded[i]);
        return;
    }
    QCOMPARE(bench.lists.selected, lastChoices());
    QCOMPARE(bench.values[0], QStringLiteral("before"));
    QCOMPARE(bench.messages.shown.size(), 1);
    QCOMPARE(bench.messages.shown[0].text, kCanNotOpenMessage);
    const QString details = bench.messages.shown[0].informative;
    QVERIFY2(details.startsWith(QDir::toNativeSeparators(path) + QLatin1Char('\n')), qPrintable(details));
    QVERIFY2(details.endsWith(QLatin1String("\nThe parameter lists keep their selections.")),
             qPrintable(details));
    QVERIFY2(details.size() < 300, qPrintable(details));
    for (const QString& reason : reasons)
        QVERIFY2(details.contains(reason), qPrintable(details));
}

QTEST_GUILESS_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
