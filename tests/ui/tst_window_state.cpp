// The window's states: as it starts, concealed and expanded, and while a transmission runs.

#include "support/Pty.h"
#include "support/WindowHarness.h"
#include "ui/PortBoxToolTip.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

const QString kConceal = QStringLiteral("<<Conceal");
const QString kVisiable = QStringLiteral(">>Visiable");

void click(WindowHarness& h, const char* button) {
    QTest::mouseClick(h.get<QPushButton>(QString::fromLatin1(button)), Qt::LeftButton);
}

// A run against a pseudo-terminal, started from the window's own button.
bool startRun(WindowHarness& h, const Pty& pty) {
    if (!h.pickWorkedExample())
        return false;
    h.get<QComboBox>(QStringLiteral("cboComPort"))->setEditText(pty.slavePath());
    click(h, "cmdFileSend");
    return h.window->intCommFlag() != CommFlag::Idle;
}

QStringList enabledLists(const WindowHarness& h) {
    QStringList enabled;
    for (int i = 0; i < kParameterCount; ++i)
        if (h.list(i)->isEnabled())
            enabled << ParameterListName(i);
    return enabled;
}

} // namespace

class WindowStateTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUp();
    void centredOnFirstShow();
    void concealExpand_data();
    void concealExpand();
    void concealedShowsOnlyTheLeftPanel();
    void runDisablesThePanelButNotIndicateMode();
    void runGoesOnWhileConcealed();
    void menuCommandsDuringARun();
    void closingReleasesThePort();
    void portBoxToolTip();
    void listToolTipShowsTheWholeChoice();
    void newestMessageShowsItsColour();
    void strayWheelChangesNoList_data();
    void strayWheelChangesNoList();
    void phaseCurrentCaptionStaysRedDuringARun();
};

void WindowStateTest::startUp() {
    WindowHarness h;
    QCOMPARE(h.window->windowTitle(), QStringLiteral("QT2XX - TORVANE"));
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdShow"))->text(), kConceal);
    QVERIFY(h.window->expanded());
    QCOMPARE(h.window->intCommFlag(), CommFlag::Idle);
    QCOMPARE(h.log()->text(), QString());
    QCOMPARE(h.window->statusLog().markCount(), 0);
    auto* port = h.get<QComboBox>(QStringLiteral("cboComPort"));
    QCOMPARE(port->currentText(), QStringLiteral("1"));
    QCOMPARE(port->currentIndex(), -1);
    for (int i = 0; i < kParameterCount; ++i)
        QCOMPARE(h.window->comboText(i), QString());
    auto* progress = h.get<QProgressBar>(QStringLiteral("prgFileTransfer"));
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(progress->value(), 0);
    QVERIFY(!progress->isTextVisible());
    QVERIFY(!h.window->menuBar()->isNativeMenuBar());
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdFileSend"))->text(), kStartTransmit);
    QVERIFY(h.window->indicatorEnabled());
    QCOMPARE(h.get<QLineEdit>(QStringLiteral("txtLoadDir"))->text(), QString());
    QCOMPARE(h.get<QLineEdit>(QStringLiteral("txtSaveDir"))->text(), QString());
    QCOMPARE(h.window->strFileDirectary(), QString());
    QCOMPARE(h.dialog->flags(), 0x200002u);
    QVERIFY(h.dialog->cancelError());
    QVERIFY(h.showActive());
    QVERIFY(withinOnePixel(h.outerTwips().height(), 9000));
}

void WindowStateTest::centredOnFirstShow() {
    WindowHarness h;
    QVERIFY(h.showActive());
    const QPoint offset =
        h.window->frameGeometry().center() - h.window->screen()->availableGeometry().center();
    QVERIFY(offset.manhattanLength() <= 2);
    QVERIFY(h.window->maximumSize() == h.window->minimumSize());
    QVERIFY(!(h.window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(h.window->windowFlags() & Qt::WindowMinimizeButtonHint);
}

void WindowStateTest::concealExpand_data() {
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<bool>("expanded");
    QTest::newRow("first click conceals") << 1 << kVisiable << 3280 << false;
    QTest::newRow("second click expands to the fixed width") << 2 << kConceal << 11500 << true;
    QTest::newRow("third click conceals again") << 3 << kVisiable << 3280 << false;
}

// The outer height stays 9000 both ways, and the selections stay as they were.
void WindowStateTest::concealExpand() {
    QFETCH(int, clicks);
    QFETCH(QString, caption);
    QFETCH(int, outerWidth);
    QFETCH(bool, expanded);
    WindowHarness h;
    QVERIFY(h.showActive());
    h.list(6)->setCurrentIndex(2);
    for (int i = 0; i < clicks; ++i)
        click(h, "cmdShow");
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdShow"))->text(), caption);
    QCOMPARE(h.window->expanded(), expanded);
    QVERIFY2(withinOnePixel(h.outerTwips().width(), outerWidth),
             qPrintable(QString::number(h.outerTwips().width())));
    QVERIFY(withinOnePixel(h.outerTwips().height(), 9000));
    QCOMPARE(h.list(6)->currentIndex(), 2);
    QCOMPARE(h.log()->text(), QString());
}

// Concealed, the client area holds the whole left panel and nothing of the parameter panel or of
// the Indicate Mode list.
void WindowStateTest::concealedShowsOnlyTheLeftPanel() {
    WindowHarness h;
    QVERIFY(h.showActive());
    click(h, "cmdShow");
    const QRect client = h.window->centralWidget()->rect();
    QVERIFY(client.contains(h.get(QStringLiteral("Picture1"))->geometry()));
    QVERIFY(!client.intersects(h.get(kParameterPanel)->geometry()));
    QVERIFY(!client.intersects(h.list(13)->geometry()));
    click(h, "cmdShow");
    QVERIFY(h.window->centralWidget()->rect().contains(h.list(13)->geometry()));
}

void WindowStateTest::runDisablesThePanelButNotIndicateMode() {
    Pty pty;
    WindowHarness h;
    QVERIFY(h.showActive());
    QVERIFY(startRun(h, pty));
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdFileSend"))->text(), QStringLiteral("Stop Transmit"));
    QCOMPARE(enabledLists(h), QStringList{ParameterListName(13)});
    QVERIFY(!h.get(QStringLiteral("cboComPort"))->isEnabled());

    // A list of the panel refuses keys; Indicate Mode takes them.
    const int slip = h.list(12)->currentIndex();
    QTest::keyClick(h.list(12), slip == 0 ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(h.list(12)->currentIndex(), slip);
    const int indicate = h.list(13)->currentIndex();
    h.list(13)->setFocus();
    QTest::keyClick(h.list(13), indicate == 0 ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(h.list(13)->currentIndex(), 1 - indicate);

    click(h, "cmdFileSend");
    QCOMPARE(h.window->intCommFlag(), CommFlag::Idle);
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdFileSend"))->text(), kStartTransmit);
    QCOMPARE(enabledLists(h).size(), kParameterCount);
    QVERIFY(h.get(QStringLiteral("cboComPort"))->isEnabled());
    QVERIFY(h.log()->text().endsWith(kCommClosedMessage + QLatin1Char('\r')));
}

// Concealing touches nothing of the run: the tick goes on and the indicator keeps blinking.
void WindowStateTest::runGoesOnWhileConcealed() {
    Pty pty;
    WindowHarness h;
    QVERIFY(h.showActive());
    QVERIFY(startRun(h, pty));
    click(h, "cmdShow");
    QVERIFY(!h.window->expanded());
    QTRY_VERIFY(!h.window->indicatorEnabled());
    QTRY_VERIFY(h.window->indicatorEnabled());
    QVERIFY(pty.readAtLeast(1).startsWith('8'));
    QCOMPARE(h.window->intCommFlag(), CommFlag::Seeking);
}

// OPEN refuses during a run and STORE works; both stay in the menu bar in every state.
void WindowStateTest::menuCommandsDuringARun() {
    Pty pty;
    QTemporaryDir dir;
    WindowHarness h;
    QVERIFY(h.showActive());
    QVERIFY(startRun(h, pty));
    click(h, "cmdShow");
    QVERIFY(h.window->OpenFile()->isEnabled() && h.window->StoreFile()->isEnabled());
    h.window->OpenFile()->trigger();
    QCOMPARE(h.messages->texts(), QStringList{kOpenDuringRunMessage});
    QCOMPARE(h.dialog->shows, 0);
    h.dialog->answer = dir.filePath(QStringLiteral("set.asv"));
    h.window->StoreFile()->trigger();
    QCOMPARE(h.get<QLineEdit>(QStringLiteral("txtSaveDir"))->text(), *h.dialog->answer);
    QFile stored(*h.dialog->answer);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll().startsWith("3:QT2C\r\n"));
}

// Closing the window in the middle of a run lets go of the device at once.
void WindowStateTest::closingReleasesThePort() {
    Pty pty;
    auto h = std::make_unique<WindowHarness>();
    QVERIFY(h->showActive());
    QVERIFY(startRun(*h, pty));
    QSerialPort other(pty.slavePath());
    QVERIFY(!other.open(QIODevice::ReadWrite));
    h->window->close();
    h.reset();
    QVERIFY(other.open(QIODevice::ReadWrite));
}

// Asked for at the moment it shows, the tooltip names what numbers 1 to 5 select and the devices
// present; the box's own text and list stay as they are.
void WindowStateTest::portBoxToolTip() {
    WindowHarness h;
    QVERIFY(h.showActive());
    auto* box = h.get<QComboBox>(QStringLiteral("cboComPort"));
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box->lineEdit(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY(QToolTip::text().contains(QStringLiteral("  5 = ")));
    QCOMPARE(box->currentText(), QStringLiteral("1"));

    const QString text = PortBoxToolTipText(
        [](int n) { return n == 2 ? QStringLiteral("/dev/ttyUSB1") : QString(); },
        {{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("FT232R USB UART"), 0x0403, 0x6001},
         {QStringLiteral("/dev/ttyS0"), QString(), {}, {}}});
    QVERIFY(text.contains(QStringLiteral("  1 = no device\n  2 = /dev/ttyUSB1\n")));
    QVERIFY(text.contains(QStringLiteral("/dev/ttyUSB1 - FT232R USB UART - USB 0403:6001\n")));
    QVERIFY(text.contains(QStringLiteral("\n  /dev/ttyS0\n")));
}

void WindowStateTest::listToolTipShowsTheWholeChoice() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QComboBox* sensor = h.list(23);
    sensor->setCurrentIndex(0);
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), sensor->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(sensor, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("0:120 Degree"));
}

// The log leaves its newest message selected; while the log has no focus that message still shows
// in its colour, not in the selection's.
void WindowStateTest::newestMessageShowsItsColour() {
    WindowHarness h;
    QVERIFY(h.showActive());
    h.window->ReceiveDisplay(kNoResponseMessage, kLogRed);
    QVERIFY(!h.log()->focusProxy()->hasFocus());
    const QImage image = h.log()->grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red += image.pixelColor(x, y).red() > 200 && image.pixelColor(x, y).green() < 80;
    QVERIFY(red > 10);
}

namespace {

int redPixels(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red += image.pixelColor(x, y).red() > 200 && image.pixelColor(x, y).green() < 80;
    return red;
}

void turnWheel(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

} // namespace

// A wheel turned over a list the operator has not entered must not pick an item unseen.
void WindowStateTest::strayWheelChangesNoList_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("Low Voltage") << ParameterListName(3) << QString();
    QTest::newRow("Indicate Mode, usable during a run") << ParameterListName(13) << QString();
    QTest::newRow("port box") << QStringLiteral("cboComPort") << QStringLiteral("1");
}

void WindowStateTest::strayWheelChangesNoList() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    WindowHarness h;
    QVERIFY(h.showActive());
    auto* box = h.get<QComboBox>(name);
    QVERIFY(!box->hasFocus());
    turnWheel(box);
    QCOMPARE(box->currentText(), text);

    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    turnWheel(box);
    QVERIFY(box->currentText() != text); // once entered, the wheel picks as the arrow keys do
}

void WindowStateTest::phaseCurrentCaptionStaysRedDuringARun() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QWidget* caption = h.get(QStringLiteral("Label1(3)"));
    const int enabledRed = redPixels(caption);
    QVERIFY(enabledRed > 10);
    h.window->setControlsEnabled(false);
    QVERIFY(!caption->isEnabled());
    QCOMPARE(redPixels(caption), enabledRed);
}

QTEST_MAIN(WindowStateTest)
#include "tst_window_state.moc"
