// The gang window driven as an operator drives it: slots chosen on the start page from a prepared
// device tree whose by-path links lead to four virtual controllers, a run to finished tiles with
// their records in a real database, and the refusals shown in the window.
#include "gang/GangWindow.h"
#include "gang/StartPage.h"
#include "gang/Translation.h"
#include "platform/core/ExitStatus.h"
#include "record/RecordStore.h"
#include "station/ScanArbiter.h"
#include "station/SerialText.h"
#include "support/BuildPaths.h"
#include "support/FixtureRig.h"
#include "support/OrderFile.h"
#include "support/Pty.h"
#include "support/ResultCheck.h"
#include "support/SimProcess.h"
#include "ui/StatusLogBox.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <memory>
#include <optional>

using qt2xx::gang::GangWindow;
using qt2xx::gang::SlotState;
using qt2xx::test::SimProcess;

namespace {

constexpr int kWait = 30000;
const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");

// finished and failed records per device, read as a report would.
QMap<QString, QPair<int, int>> recordsByDevice(const QString& path) {
    QMap<QString, QPair<int, int>> counts;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("gang-check"));
        db.setDatabaseName(path);
        if (!db.open())
            return counts;
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT device, result FROM records"));
        while (q.next()) {
            auto& c = counts[q.value(0).toString()];
            (q.value(1).toString() == QLatin1String("finished") ? c.first : c.second) += 1;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gang-check"));
    return counts;
}

} // namespace

class TestGang : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void startPageChoosesSlotsAndTheRunFinishesThem();
    void scansArmTheTilesOfAnOrder();
    void headerYieldIsTheRecordsToolsYield();
    void scanRefusalsInTheOperatorsLanguage();
    void tileSaysHowLongAndWhenToTakeOut_data();
    void tileSaysHowLongAndWhenToTakeOut();
    void fixtureInTheOperatorsLanguage();
    void refusalsAreShownInTheWindow_data();
    void refusalsAreShownInTheWindow();
    void commandLines_data();
    void commandLines();

private:
    QTemporaryDir m_home;
};

void TestGang::initTestCase() {
    QCoreApplication::setOrganizationName(QStringLiteral("qt2xx-test"));
    QCoreApplication::setApplicationName(QStringLiteral("qt2xx-gang"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
}

void TestGang::startPageChoosesSlotsAndTheRunFinishesThem() {
    // Four adapters of a fixture under /dev/serial/by-path, and one more that is no slot of it.
    std::vector<std::unique_ptr<SimProcess>> sims;
    QTemporaryDir dev;
    QVERIFY(QDir(dev.path()).mkpath(QStringLiteral("serial/by-path")));
    QStringList links;
    for (int i = 0; i < 5; ++i) {
        sims.push_back(std::make_unique<SimProcess>(i == 2 ? QStringList{QStringLiteral("--reject-frame"),
                                                                         QStringLiteral("--fail-every"),
                                                                         QStringLiteral("2")}
                                                           : QStringList{}));
        QVERIFY(!sims.back()->device().isEmpty());
        links << dev.filePath(
            QStringLiteral("serial/by-path/pci-0000:00:14.0-usb-0:1.%1:1.0-port0").arg(i + 1));
        QVERIFY(QFile::link(sims.back()->device(), links.back()));
    }
    const QString database = m_home.filePath(QStringLiteral("records.sqlite"));
    qt2xx::gang::GangOptions options;
    options.session.recordPath = database;

    {
        GangWindow window(options, dev.filePath(QStringLiteral("serial")), dev.path());
        window.show();
        qt2xx::gang::StartPage* page = window.startPage();
        QListWidget* list = page->slotList();
        // The machine's own serial devices are listed too; the fixture's are by their by-path names.
        QList<QListWidgetItem*> rows;
        for (const QString& link : links) {
            const auto found = list->findItems(link, Qt::MatchStartsWith);
            QCOMPARE(found.size(), 1);
            QVERIFY2(found[0]->text().contains(QStringLiteral("no port number")),
                     qPrintable(found[0]->text()));
            rows << found[0];
        }
        QVERIFY(!page->startButton()->isEnabled());
        QTest::keyClicks(page->fileField(), kSetFile);
        QTest::keyClicks(page->operatorField(), QStringLiteral("OP1"));
        for (int i = 0; i < 4; ++i)
            rows[i]->setCheckState(Qt::Checked);
        QCOMPARE(page->chosenPorts(), links.mid(0, 4));
        QTest::mouseClick(page->startButton(), Qt::LeftButton);

        QCOMPARE(int(window.tiles().size()), 4);
        QVERIFY(window.running());
        QVERIFY(window.scanField()->isVisible());
        QTRY_VERIFY(window.scanField()->hasFocus());
        // Each good slot finishes units; the faulty one fails every other unit in the log's words.
        for (int i : {0, 1, 3})
            QTRY_VERIFY_WITH_TIMEOUT(window.tiles()[i]->view().finished >= 2, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(window.tiles()[2]->view().failed >= 1, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(window.tiles()[2]->view().state, SlotState::Failed, kWait);
        QCOMPARE(window.tiles()[2]->view().failure, QStringLiteral("Transmit Failure"));
        QVERIFY(window.tiles()[2]->accessibleName().startsWith(QStringLiteral("Slot 3, Failed, serial")));

        QTest::keyClick(&window, Qt::Key_F8); // Stop
        QTRY_VERIFY_WITH_TIMEOUT(!window.running(), kWait);
        QTRY_VERIFY(window.startButton()->isEnabled());
        QVERIFY(!window.stopButton()->isEnabled());
        // Once the tiles have caught up, each shows the last unit's outcome or that it stopped.
        const auto settled = [&window] {
            for (qt2xx::gang::SlotTile* tile : window.tiles()) {
                const SlotState state = tile->view().state;
                if (state != SlotState::Finished && state != SlotState::Failed && state != SlotState::Stopped)
                    return false;
            }
            return true;
        };
        QTRY_VERIFY(settled());
        // A finished unit whose record is written late still adds to a tile after the stop, so the
        // sums are read again while the header is waited for.
        const auto tileTotals = [&window] {
            int finished = 0, failed = 0;
            for (qt2xx::gang::SlotTile* tile : window.tiles()) {
                finished += tile->view().finished;
                failed += tile->view().failed;
            }
            return QStringLiteral("Finished %1   Failed %2").arg(finished).arg(failed);
        };
        const QString header = window.headerText();
        QVERIFY2(header.contains(QStringLiteral("Operator: OP1")), qPrintable(header));
        QVERIFY2(
            header.contains(QStringLiteral("worked-example.asv  ") + window.session().setSha256().left(12)),
            qPrintable(header));
        // The header is repainted with the tiles' batch, so it may show the sums a moment later.
        QTRY_VERIFY2(window.headerText().contains(tileTotals()),
                     qPrintable(window.headerText() + tileTotals()));
        QVERIFY2(window.recordsText().contains(database), qPrintable(window.recordsText()));
        const int tilesFinished0 = window.tiles()[0]->view().finished;

        // Start again: the tiles go on counting from the run before.
        QTest::keyClick(&window, Qt::Key_F5);
        QTRY_VERIFY(window.running());
        QTRY_VERIFY_WITH_TIMEOUT(window.tiles()[0]->view().finished > tilesFinished0, kWait);
        QTest::keyClick(&window, Qt::Key_F8);
        QTRY_VERIFY_WITH_TIMEOUT(!window.running(), kWait);

        // A scan with nothing to arm is answered in the field's place.
        QTest::keyClicks(window.scanField(), QStringLiteral("QT2C-00000001"));
        QTest::keyClick(window.scanField(), Qt::Key_Return);
        QVERIFY(window.scanField()->text().isEmpty());
        QVERIFY(!window.scanField()->isVisible());

        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.exitStatus(), int(qt2xx::ExitFailed));

        // Every unit a tile counts is a record of its slot's device; the fifth adapter was no slot.
        const auto records = recordsByDevice(database);
        QCOMPARE(records.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(records.value(links[i]).first, window.tiles()[i]->view().finished);
            QVERIFY(records.value(links[i]).second >= 0);
        }
        QVERIFY(records.value(links[2]).second >= 1);
    }

    // The fixture keeps its slots: the next start offers the same file and the same four ticked.
    GangWindow again(options, dev.filePath(QStringLiteral("serial")), dev.path());
    QCOMPARE(again.startPage()->setFile(), kSetFile);
    QCOMPARE(again.startPage()->chosenPorts(), links.mid(0, 4));
    QVERIFY(again.startPage()->startButton()->isEnabled());
}

namespace {

void typeScan(GangWindow& window, const QString& text) {
    QTest::keyClicks(window.scanField(), text);
    QTest::keyClick(window.scanField(), Qt::Key_Return);
}

} // namespace

// Four serials typed into the scan field arm the four tiles in turn; each tile finishes its unit
// with its serial, the header counts the order to its quantity, and the records carry the serials.
void TestGang::scansArmTheTilesOfAnOrder() {
    QTemporaryDir dir;
    const QString set = dir.filePath(QStringLiteral("qt2c.asv"));
    QVERIFY(QFile::copy(kSetFile, set));
    std::vector<std::unique_ptr<SimProcess>> sims;
    qt2xx::SessionOptions session;
    session.orderFile = qt2xx::test::WriteOrderFile(set, 4);
    session.recordPath = dir.filePath(QStringLiteral("records.sqlite"));
    session.operatorId = QStringLiteral("OP1");
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<SimProcess>());
        session.ports << sims.back()->device();
    }
    qt2xx::gang::GangOptions options;
    options.operatorId = QStringLiteral("OP1");
    GangWindow window(options, dir.path(), dir.path());
    window.show();
    QVERIFY(window.begin(session));
    QTRY_COMPARE(window.tiles()[0]->view().state, SlotState::WaitingForScan);
    QVERIFY(window.tiles()[0]->view().nextScan);
    QVERIFY(!window.tiles()[1]->view().nextScan);
    QVERIFY2(window.headerText().contains(QStringLiteral("Order: WO-7  QT2C 48 V 350 W")),
             qPrintable(window.headerText()));
    QVERIFY(window.headerText().contains(QStringLiteral("0 / 4")));

    const QStringList serials =
        QString::fromLatin1(qt2xx::test::SerialLines(1, 4)).split(u'\n', Qt::SkipEmptyParts);
    typeScan(window, serials[0]);
    QTRY_VERIFY(window.tiles()[1]->view().nextScan);
    for (const QString& serial : serials.mid(1))
        typeScan(window, serial);
    for (int i = 0; i < 4; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(window.tiles()[i]->view().state, SlotState::Finished, kWait);
        QCOMPARE(window.tiles()[i]->view().serial, serials[i]);
        QCOMPARE(window.tiles()[i]->view().finished, 1);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), kWait); // the order is complete
    QTRY_VERIFY(window.headerText().contains(QStringLiteral("4 / 4")));

    // A scan once the order is complete is refused in the field's place.
    typeScan(window, QStringLiteral("QT2C-00000009"));
    QVERIFY(!window.scanField()->isVisible());
    bool told = false;
    for (QLabel* label : window.findChildren<QLabel*>())
        told = told || (label->isVisible() && label->text().contains(QStringLiteral("needs no more units")));
    QVERIFY(told);
    window.close();
    QCOMPARE(window.exitStatus(), int(qt2xx::ExitOk));

    const auto store = qt2xx::test::Checked(
        qt2xx::RecordStore::open(session.recordPath, qt2xx::RecordStore::OpenMode::MustExist));
    QVERIFY(store);
    const auto records = qt2xx::test::Checked(store->records({}));
    QCOMPARE(records.size(), size_t(4));
    for (const auto& record : records) {
        const int slot = int(session.ports.indexOf(record.device));
        QVERIFY(slot >= 0);
        QCOMPARE(record.unitSerial, serials[slot]);
        QCOMPARE(record.orderId, QStringLiteral("WO-7"));
        QCOMPARE(record.operatorId, QStringLiteral("OP1"));
    }
    for (int i = 0; i < 4; ++i) {
        sims[i]->terminate();
        QCOMPARE(sims[i]->programmed().size(), 1);
    }
}

// A unit that fails, then finishes when scanned again, is one unit tried that did not pass first: the
// header's first-pass yield is the record's, as qt2xx-records order prints it from the same
// database, not finished over attempts.
void TestGang::headerYieldIsTheRecordsToolsYield() {
    QTemporaryDir dir;
    const QString set = dir.filePath(QStringLiteral("qt2c.asv"));
    QVERIFY(QFile::copy(kSetFile, set));
    // The second controller rejects the frame: the second serial fails, then finishes when scanned
    // again without being taken out. The first is swapped for the second once it is done.
    SimProcess sim({QStringLiteral("--reject-frame"), QStringLiteral("--fail-every"), QStringLiteral("2"),
                    QStringLiteral("--swap"), QStringLiteral("6000")});
    qt2xx::SessionOptions session;
    session.orderFile = qt2xx::test::WriteOrderFile(set, 2);
    session.recordPath = dir.filePath(QStringLiteral("records.sqlite"));
    session.ports << sim.device();
    qt2xx::gang::GangOptions options;
    GangWindow window(options, dir.path(), dir.path());
    window.show();
    QVERIFY(window.begin(session));
    const QStringList serials{QStringLiteral("QT2C-00000001"), QStringLiteral("QT2C-00000002"),
                              QStringLiteral("QT2C-00000002")};
    // The first unit is seen taken out; the failed one stays in its slot for its retry.
    const SlotState ends[] = {SlotState::Finished, SlotState::RemoveUnit, SlotState::Finished};
    for (int i = 0; i < 3; ++i) {
        if (i < 2) {
            QTRY_VERIFY_WITH_TIMEOUT(window.tiles()[0]->view().nextScan, kWait);
        }
        typeScan(window, serials[i]);
        QTRY_COMPARE_WITH_TIMEOUT(window.tiles()[0]->view().state, ends[i], kWait);
        if (ends[i] != SlotState::RemoveUnit)
            QCOMPARE(window.tiles()[0]->view().serial, serials[i]);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), kWait); // the order is complete
    const qt2xx::UnitCounts& figures = window.session().figures();
    QCOMPARE(figures.unitsTried, 2);
    QCOMPARE(figures.unitsFinished, 2);
    QCOMPARE(figures.attemptsFailed, 1);
    QCOMPARE(figures.firstPass, 1);
    QTRY_VERIFY2(
        window.headerText().contains(QStringLiteral("Finished 2   Failed 1   First-pass yield 50.0 %")),
        qPrintable(window.headerText()));
    window.close();
    QCOMPARE(window.exitStatus(), int(qt2xx::ExitFailed));

    QProcess records;
    records.start(qt2xx::test::ProgramPath(u"qt2xx-records"),
                  {QStringLiteral("--db"), session.recordPath, QStringLiteral("order"),
                   QStringLiteral("WO-7"), QStringLiteral("--format"), QStringLiteral("json")});
    QVERIFY(records.waitForFinished(kWait));
    QCOMPARE(records.exitCode(), 0);
    const QJsonObject order = QJsonDocument::fromJson(records.readAllStandardOutput()).object();
    QCOMPARE(order[QStringLiteral("units_finished")].toInt(), figures.unitsFinished);
    QCOMPARE(order[QStringLiteral("attempts_failed")].toInt(), figures.attemptsFailed);
    QCOMPARE(order[QStringLiteral("first_pass_yield")].toDouble(),
             qRound(*figures.firstPassYield() * 1000) / 1000.0);
}

namespace {

// The text of the window's visible label that holds words; empty when none does.
QString shownWith(GangWindow& window, const QString& words) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isVisible() && label->text().contains(words))
            return label->text();
    }
    return {};
}

// The gang window's translation into Simplified Chinese, installed while it lives.
class Chinese {
public:
    Chinese()
        : m_installed(
              qt2xx::gang::InstallTranslation(m_translator, QLocale(QLocale::Chinese, QLocale::China))) {}
    ~Chinese() { QCoreApplication::removeTranslator(&m_translator); }
    bool installed() const { return m_installed; }

private:
    QTranslator m_translator;
    bool m_installed;
};

} // namespace

// Under a Chinese locale the refusals of the core reach the operator in Chinese, in one line and with
// what they quote escaped; an over-long paste is refused, not cut to a serial. No unit is armed.
void TestGang::scanRefusalsInTheOperatorsLanguage() {
    QTemporaryDir dir;
    const QString set = dir.filePath(QStringLiteral("qt2c.asv"));
    QVERIFY(QFile::copy(kSetFile, set));
    SimProcess sim;
    qt2xx::SessionOptions session;
    session.orderFile = qt2xx::test::WriteOrderFile(set, 2);
    session.recordPath = dir.filePath(QStringLiteral("records.sqlite"));
    session.ports << sim.device();
    Chinese chinese;
    QVERIFY(chinese.installed());
    GangWindow window(qt2xx::gang::GangOptions{}, dir.path(), dir.path());
    window.show();
    QVERIFY(window.begin(session));
    QTRY_COMPARE(window.tiles()[0]->view().state, SlotState::WaitingForScan);
    QCOMPARE(window.tiles()[0]->stateText(), QStringLiteral("等待扫码"));

    struct Refused {
        QString typed;
        QString shown; // the Chinese reason with the line it quotes
    };
    const Refused refusals[] = {
        {QStringLiteral("QT2C-1"), QStringLiteral("QT2C-1 不符合工单的序列号格式")},
        {QStringLiteral("=HYPERLINK(\"http://x\",\"y\")"),
         QStringLiteral("以“=”开头，电子表格会把它当作公式执行")},
        {QStringLiteral("QT2C-\x1b[2J1"), QStringLiteral("QT2C-\\x1b[2J1 含有控制字符 \\x1b")},
    };
    for (const Refused& refusal : refusals) {
        window.scanField()->insert(refusal.typed);
        QTest::keyClick(window.scanField(), Qt::Key_Return);
        const QString shown = shownWith(window, refusal.shown);
        QVERIFY2(!shown.isEmpty(), qPrintable(refusal.shown));
        QVERIFY2(!shown.contains(u'\n') && !shown.contains(QChar(0x1b)), qPrintable(shown));
    }
    // A megabyte pasted into the field: it holds a bounded line, and Enter refuses it.
    window.scanField()->insert(QString(1 << 20, u'7'));
    QCOMPARE(window.scanField()->text().size(), qsizetype(qt2xx::kScanLineMaxBytes));
    QTest::keyClick(window.scanField(), Qt::Key_Return);
    QVERIFY(!shownWith(window, QStringLiteral("对序列号来说太长")).isEmpty());
    QVERIFY(window.scanField()->text().isEmpty());
    QCOMPARE(window.tiles()[0]->view().state, SlotState::WaitingForScan);
    QVERIFY(window.tiles()[0]->view().serial.isEmpty());
    window.close();
}

void TestGang::tileSaysHowLongAndWhenToTakeOut_data() {
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<SlotState>("state");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("elapsed");
    QTest::newRow("programming") << false << SlotState::Programming << QStringLiteral("Programming 40 %")
                                 << QStringLiteral("12.3 s so far");
    QTest::newRow("finished") << false << SlotState::Finished << QStringLiteral("Finished")
                              << QStringLiteral("Took 12.3 s");
    QTest::newRow("remove the unit") << false << SlotState::RemoveUnit << QStringLiteral("Remove the unit")
                                     << QStringLiteral("Took 12.3 s");
    QTest::newRow("programming, Chinese")
        << true << SlotState::Programming << QStringLiteral("编程中 40 %") << QStringLiteral("已用 12.3 秒");
    QTest::newRow("remove the unit, Chinese")
        << true << SlotState::RemoveUnit << QStringLiteral("请取出产品") << QStringLiteral("用时 12.3 秒");
}

// What a tile shows in words, as a person reads it: the state, the unit's time, the serial.
void TestGang::tileSaysHowLongAndWhenToTakeOut() {
    QFETCH(bool, chinese);
    QFETCH(SlotState, state);
    QFETCH(QString, word);
    QFETCH(QString, elapsed);
    std::optional<Chinese> language;
    if (chinese)
        QVERIFY(language.emplace().installed());
    qt2xx::gang::SlotTile tile;
    tile.resize(420, 210);
    tile.show();
    qt2xx::gang::SlotView view;
    view.slot = 3;
    view.state = state;
    view.percent = 40;
    view.serial = QStringLiteral("QT2C-00000007");
    view.elapsedTenths = 123;
    tile.showView(view);
    QStringList shown;
    for (QLabel* label : tile.findChildren<QLabel*>()) {
        if (label->isVisible())
            shown << label->text();
    }
    QVERIFY2(shown.contains(word), qPrintable(shown.join(u'|')));
    QVERIFY2(shown.contains(elapsed), qPrintable(shown.join(u'|')));
    QVERIFY(shown.contains(view.serial));
    view.elapsedTenths = -1; // no unit yet: no time shown
    tile.showView(view);
    for (QLabel* label : tile.findChildren<QLabel*>())
        QVERIFY(!label->isVisible() || label->text() != elapsed);
}

// The gang window with --fixture, in Chinese, over one contact slot whose port nothing answers: the
// scan waits for a unit in the slot, a unit taken out after its scan drops its serial on the tile and
// is scanned again, the module's absence is told in red in the header until it answers, and closing
// the window leaves the fixture safe.
void TestGang::fixtureInTheOperatorsLanguage() {
    using qt2xx::test::TestFixture;
    QTemporaryDir dir;
    const QString set = dir.filePath(QStringLiteral("qt2c.asv"));
    QVERIFY(QFile::copy(kSetFile, set));
    qt2xx::test::ModbusModule module;
    QVERIFY(module.start());
    qt2xx::test::Pty pty;
    QVERIFY(pty.isOpen());
    qt2xx::SessionOptions session;
    session.orderFile = qt2xx::test::WriteOrderFile(set, 2);
    session.recordPath = dir.filePath(QStringLiteral("records.sqlite"));
    session.ports << pty.slavePath();
    qt2xx::gang::GangOptions options;
    options.fixtureFile = TestFixture::write(dir.filePath(QStringLiteral("fixture.json")), module, 1);
    Chinese chinese;
    QVERIFY(chinese.installed());
    GangWindow window(options, dir.path(), dir.path());
    window.show();
    QVERIFY(window.begin(session));
    QVERIFY(window.fixture());
    const qt2xx::FixtureLink& link = window.fixture()->link();
    using Contact = qt2xx::FixtureLink::Contact;
    QTRY_COMPARE_WITH_TIMEOUT(link.contact(1), Contact::Open, kWait);

    const QString serial = QStringLiteral("QT2C-00000001");
    typeScan(window, serial);
    QVERIFY(!shownWith(window, QStringLiteral("工位中没有产品")).isEmpty());
    module.setInput(TestFixture::kContact, true);
    QTRY_COMPARE_WITH_TIMEOUT(link.contact(1), Contact::Closed, kWait);
    typeScan(window, serial);
    QTRY_COMPARE(window.tiles()[0]->view().serial, serial);
    QCOMPARE(window.tiles()[0]->view().state, SlotState::Seeking);
    module.setInput(TestFixture::kContact, false);
    QTRY_VERIFY_WITH_TIMEOUT(window.tiles()[0]->view().serial.isEmpty(), kWait);
    QTRY_COMPARE(window.tiles()[0]->view().failure, qt2xx::ScanArbiter::droppedText(serial, 1));
    QVERIFY2(window.tiles()[0]->view().failure.contains(QStringLiteral("请重新扫码")),
             qPrintable(window.tiles()[0]->view().failure));
    QCOMPARE(window.tiles()[0]->view().state, SlotState::WaitingForScan);

    // The module goes away and restarts: red in the header meanwhile, gone once it answers.
    const QString away = QStringLiteral("治具恢复响应之前");
    module.stop();
    QTRY_VERIFY_WITH_TIMEOUT(window.headerText().contains(away), kWait);
    QLabel* header = nullptr;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isVisible() && label->text().startsWith(away))
            header = label;
    }
    QVERIFY(header);
    QCOMPARE(header->palette().color(QPalette::WindowText), *qt2xx::logColorOf(qt2xx::kLogRed));
    QVERIFY(module.start());
    module.setInput(TestFixture::kContact, true);
    QTRY_VERIFY_WITH_TIMEOUT(!window.headerText().contains(away), kWait);
    QVERIFY(!header->isVisible());

    // The serial dropped is the slot's again.
    QTRY_COMPARE_WITH_TIMEOUT(link.contact(1), Contact::Closed, kWait);
    typeScan(window, serial);
    QTRY_COMPARE(window.tiles()[0]->view().serial, serial);
    QVERIFY(window.tiles()[0]->view().failure.isEmpty());

    window.close();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kWait);
    for (quint16 coil = 0; coil < qt2xx::test::ModbusModule::kCoils; ++coil)
        QVERIFY2(module.coil(coil) == (coil == TestFixture::kRed), qPrintable(QString::number(coil)));
}

void TestGang::refusalsAreShownInTheWindow_data() {
    QTest::addColumn<QString>("setFile");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("record");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("words");

    const QString blocked = qt2xx::test::TestDataPath(u"frame/worked-example.asv/records.sqlite");
    QTest::newRow("no frame") << qt2xx::test::TestDataPath(u"missing.asv") << QStringLiteral("/dev/null")
                              << QString() << int(qt2xx::ExitRefused) << QStringLiteral("missing.asv: ");
    QTest::newRow("unwritable database")
        << kSetFile << QStringLiteral("/dev/null") << blocked << int(qt2xx::ExitRefused)
        << QStringLiteral("records cannot be kept in");
    QTest::newRow("unopenable port") << kSetFile << QStringLiteral("/nonexistent/ttyUSB9") << QString()
                                     << int(qt2xx::ExitUnreachable)
                                     << QStringLiteral("/nonexistent/ttyUSB9: ");
}

void TestGang::refusalsAreShownInTheWindow() {
    QFETCH(QString, setFile);
    QFETCH(QString, port);
    QFETCH(QString, record);
    QFETCH(int, status);
    QFETCH(QString, words);

    QTemporaryDir empty;
    qt2xx::gang::GangOptions options;
    options.session.record = !record.isNull() || status == int(qt2xx::ExitUnreachable);
    options.session.recordPath = record.isNull() ? m_home.filePath(QStringLiteral("refused.sqlite")) : record;
    GangWindow window(options, empty.path(), empty.path());
    window.show();
    qt2xx::SessionOptions session = options.session;
    session.setFile = setFile;
    session.ports = {port};
    QVERIFY(!window.begin(session));
    if (status == int(qt2xx::ExitUnreachable)) {
        // The slot's tile says why its port did not open.
        QTRY_COMPARE(window.tiles()[0]->view().state, SlotState::NotOpen);
        QVERIFY2(window.tiles()[0]->view().failure.startsWith(QStringLiteral("This Comm is no use")),
                 qPrintable(window.tiles()[0]->view().failure));
        QVERIFY(!window.startButton()->isEnabled() || !window.running());
    } else {
        QVERIFY2(window.startPage()->isVisible(), "a refusal goes back to the start page");
        QVERIFY(window.tiles().empty());
    }
    bool found = false;
    for (QLabel* label : window.findChildren<QLabel*>())
        found = found || (label->isVisible() && label->text().contains(words));
    QVERIFY2(found, qPrintable(words));
    window.close();
    QCOMPARE(window.exitStatus(), status);
}

void TestGang::commandLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QStringList>("ports");

    QTest::newRow("start page") << QStringList{QStringLiteral("--operator=OP1")} << QString()
                                << QStringList();
    QTest::newRow("set and ports") << QStringList{QStringLiteral("--operator"), QStringLiteral("OP1"),
                                                  QStringLiteral("set.asv"), QStringLiteral("3"),
                                                  QStringLiteral("/dev/ttyUSB1")}
                                   << QString()
                                   << QStringList{QStringLiteral("3"), QStringLiteral("/dev/ttyUSB1")};
    QTest::newRow("set without a port")
        << QStringList{QStringLiteral("set.asv")} << QStringLiteral("at least one port") << QStringList();
    QTest::newRow("operator without id")
        << QStringList{QStringLiteral("--operator")} << QStringLiteral("--operator needs") << QStringList();
    QTest::newRow("record and no record")
        << QStringList{QStringLiteral("--record=a.sqlite"), QStringLiteral("--no-record")}
        << QStringLiteral("exclude each other") << QStringList();
    QTest::newRow("password in the server")
        << QStringList{QStringLiteral("--record-server=postgresql://u:secret@h/db")}
        << QStringLiteral("password") << QStringList();
    QTest::newRow("order") << QStringList{QStringLiteral("--order"), QStringLiteral("wo.json"),
                                          QStringLiteral("--operator=OP1"), QStringLiteral("P1")}
                           << QString() << QStringList{QStringLiteral("P1")};
    QTest::newRow("unknown") << QStringList{QStringLiteral("--count=3")} << QStringLiteral("unknown option")
                             << QStringList();
}

void TestGang::commandLines() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, ports);
    qt2xx::gang::GangOptions options;
    QString why;
    QCOMPARE(qt2xx::gang::ParseGangOptions(arguments, options, why), error.isEmpty());
    QVERIFY2(why.contains(error), qPrintable(why));
    QVERIFY(!why.contains(QStringLiteral("secret")));
    if (error.isEmpty()) {
        QCOMPARE(options.session.ports, ports);
        QCOMPARE(options.operatorId, QStringLiteral("OP1"));
    }
}

QTEST_MAIN(TestGang)
#include "tst_gang.moc"
