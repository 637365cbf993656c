// The window as laid out: where every control is, what it shows, and the order focus takes.

#include "support/WindowHarness.h"

#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRawFont>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

// Which corner a row of the layout tables is measured from.
enum class Origin { Client, LeftPanelInside, ParameterPanel };

QPoint originOf(const WindowHarness& h, Origin origin) {
    QWidget* client = h.window->centralWidget();
    switch (origin) {
    case Origin::Client:
        return {};
    case Origin::LeftPanelInside: {
        auto* panel = h.get<QFrame>(QStringLiteral("Picture1"));
        return panel->mapTo(client, panel->contentsRect().topLeft());
    }
    case Origin::ParameterPanel:
        return h.get(QStringLiteral("Frame10"))->mapTo(client, QPoint());
    }
    return {};
}

// The same caption drawn with room to spare below and to the right.
QRect unclippedInkOf(const QLabel* label) {
    QWidget buddy;
    QLabel free(label->text());
    free.setBuddy(label->buddy() ? &buddy : nullptr);
    free.setFont(label->font());
    free.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    free.setWordWrap(label->wordWrap());
    free.setFixedWidth(label->wordWrap() ? label->contentsRect().width() : label->width() + 100);
    free.setFixedHeight(label->height() + 100);
    return inkOf(free.grab().toImage());
}

const QStringList kFocusOrder = {
    "cmdShow",    "rtfReceive", "cboComPort", "cmdFileSend", "Combo1(1)",  "Combo1(2)",  "Combo1(3)",
    "Combo1(4)",  "Combo1(0)",  "Combo1(5)",  "Combo1(6)",   "Combo1(7)",  "Combo1(8)",  "Combo1(9)",
    "Combo1(10)", "Combo1(11)", "Combo1(12)", "txtSaveDir",  "txtLoadDir", "Combo1(13)", "Combo1(14)",
    "Combo1(15)", "Combo1(17)", "Combo1(18)", "Combo1(19)",  "Combo1(16)", "Combo1(20)", "Combo1(21)",
    "Combo1(22)", "Combo1(23)", "Combo1(24)", "Combo1(25)"};

// The controls that take the focus, named, in the order the focus visits them from cmdShow on.
QStringList walkFocus(const WindowHarness& h, Qt::Key key) {
    h.get(QStringLiteral("cmdShow"))->setFocus();
    QStringList visited;
    for (qsizetype i = 0; i <= kFocusOrder.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        while (focus && !kFocusOrder.contains(focus->objectName()))
            focus = focus->parentWidget();
        visited << (focus ? focus->objectName() : QStringLiteral("?"));
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    return visited;
}

} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void geometry_data();
    void geometry();
    void clientAreaAndMenu();
    void captions_data();
    void captions();
    void labelColours();
    void captionsFitTheirRoom();
    void captionsHaveEveryGlyph();
    void lists();
    void portBox();
    void indicateModeStacksAbovePanel();
    void tabOrder();
};

void WindowLayoutTest::geometry_data() {
    QTest::addColumn<QString>("parent");
    QTest::addColumn<int>("origin");
    QTest::addColumn<QRect>("twips");
    auto row = [](const char* name, const char* parent, Origin origin, int l, int t, int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(parent) << int(origin) << QRect(l, t, w, h);
    };
    const auto c = Origin::Client;
    const auto in = Origin::LeftPanelInside;
    const auto p = Origin::ParameterPanel;
    row("Picture1", "client", c, 120, 120, 3020, 5535);
    row("Frame10", "client", c, 3240, 120, 8535, 7575);
    row("Combo1(13)", "client", c, 8160, 3360, 2895, 300);
    row("cmdShow", "Picture1", in, 1440, 120, 1455, 300);
    row("Label6", "Picture1", in, 120, 720, 855, 375);
    row("txtLoadDir", "Picture1", in, 1080, 600, 1755, 375);
    row("Label7", "Picture1", in, 120, 1440, 1215, 375);
    row("txtSaveDir", "Picture1", in, 1080, 1320, 1755, 375);
    row("Label8", "Picture1", in, 120, 2040, 1215, 375);
    row("cboComPort", "Picture1", in, 1080, 2040, 1095, 300);
    row("cmdFileSend", "Picture1", in, 240, 2640, 2055, 495);
    row("Label1(0)", "Picture1", in, 240, 3240, 1575, 375);
    row("prgFileTransfer", "Picture1", in, 240, 3600, 2175, 495);
    row("rtfReceive", "Picture1", in, 120, 4200, 2775, 1215);
    row("Frame2", "Frame10", p, 360, 0, 2655, 615);
    row("Frame1", "Frame10", p, 240, 1080, 3015, 3375);
    row("Frame3", "Frame10", p, 3360, 360, 4455, 4095);
    row("Fram4", "Frame10", p, 240, 4800, 7695, 2775);
    row("Combo1(0)", "Frame2", p, 600, 240, 2295, 300);
    row("Combo1(23)", "Frame10", p, 1800, 720, 1095, 300);
    row("Label1(6)", "Frame10", p, 480, 720, 1350, 180);
    row("Combo1(1)", "Frame1", p, 1800, 1440, 1095, 300);
    row("Label1(3)", "Frame1", p, 360, 1440, 1620, 180);
    row("Combo1(2)", "Frame1", p, 1800, 1920, 1095, 300);
    row("Label1(1)", "Frame1", p, 360, 1920, 1620, 180);
    row("Combo1(3)", "Frame1", p, 1800, 2400, 1095, 300);
    row("Label1(2)", "Frame1", p, 360, 2400, 1440, 180);
    row("Combo1(4)", "Frame1", p, 1800, 2880, 1095, 300);
    row("Label1(4)", "Frame1", p, 360, 2880, 1620, 180);
    row("Combo1(16)", "Frame1", p, 1800, 3360, 1095, 300);
    row("Label1(5)", "Frame1", p, 360, 3360, 1800, 180);
    row("Combo1(5)", "Frame3", p, 4920, 720, 1095, 300);
    row("Label2(0)", "Frame3", p, 3480, 720, 1335, 255);
    row("Combo1(6)", "Frame3", p, 4920, 1080, 2775, 300);
    row("Label2(1)", "Frame3", p, 3480, 1080, 1455, 255);
    row("Combo1(21)", "Frame3", p, 4920, 1440, 1095, 300);
    row("Label3(6)", "Frame3", p, 3480, 1440, 1455, 255);
    row("Combo1(7)", "Frame3", p, 4920, 1800, 1095, 300);
    row("Label2(2)", "Frame3", p, 3480, 1800, 1095, 255);
    row("Combo1(8)", "Frame3", p, 4920, 2160, 1095, 300);
    row("Label2(3)", "Frame3", p, 3480, 2160, 1215, 255);
    row("Combo1(9)", "Frame3", p, 4920, 2520, 1095, 300);
    row("Label2(4)", "Frame3", p, 3480, 2520, 1095, 255);
    row("Combo1(22)", "Frame3", p, 4920, 2880, 1095, 300);
    row("Label2(7)", "Frame3", p, 3480, 2880, 1095, 255);
    row("Combo1(13) over the panel", "client", p, 4920, 3240, 2895, 300);
    row("Label9", "Frame3", p, 3480, 3240, 1575, 255);
    row("Combo1(15)", "Frame3", p, 4920, 3600, 1815, 300);
    row("Label3(1)", "Frame3", p, 3480, 3600, 1575, 255);
    row("Combo1(10)", "Fram4", p, 2280, 5160, 975, 300);
    row("Label3(0)", "Fram4", p, 360, 5160, 1575, 255);
    row("Combo1(11)", "Fram4", p, 2280, 5640, 975, 300);
    row("Label4", "Fram4", p, 360, 5640, 2415, 255);
    row("Combo1(12)", "Fram4", p, 2280, 6120, 1695, 300);
    row("Label5", "Fram4", p, 360, 6120, 1935, 255);
    row("Combo1(14)", "Fram4", p, 2280, 6600, 1695, 300);
    row("Label2(6)", "Fram4", p, 360, 6600, 1095, 255);
    row("Combo1(25)", "Fram4", p, 2280, 7080, 1935, 300);
    row("Label3(7)", "Fram4", p, 360, 7080, 1455, 255);
    row("Combo1(17)", "Fram4", p, 5880, 5160, 1455, 300);
    row("Label3(2)", "Fram4", p, 4200, 5160, 1215, 255);
    row("Combo1(18)", "Fram4", p, 5880, 5640, 1455, 300);
    row("Label3(3)", "Fram4", p, 4200, 5640, 1815, 255);
    row("Combo1(19)", "Fram4", p, 5880, 6120, 1455, 300);
    row("Label3(4)", "Fram4", p, 4200, 6120, 1215, 255);
    row("Combo1(20)", "Fram4", p, 5880, 6600, 1815, 300);
    row("Label3(5)", "Fram4", p, 4200, 6600, 1575, 255);
    row("Combo1(24)", "Fram4", p, 5880, 7080, 1815, 300);
    row("Label3(8)", "Fram4", p, 4200, 7080, 1215, 255);
}

// Every control lies in its container at its place and size, within one pixel, whichever widget it
// is built in.
void WindowLayoutTest::geometry() {
    QFETCH(QString, parent);
    QFETCH(int, origin);
    QFETCH(QRect, twips);
    WindowHarness h;
    const QString name = QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(' '), 0, 0);
    QWidget* widget = h.get(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QWidget* client = h.window->centralWidget();
    const QPoint at = widget->mapTo(client, QPoint()) - originOf(h, Origin(origin));
    const QRect actual(at * kTwipsPerPixel, widget->size() * kTwipsPerPixel);
    QVERIFY2(withinOnePixel(actual.x(), twips.x()), qPrintable(QString::number(actual.x())));
    QVERIFY2(withinOnePixel(actual.y(), twips.y()), qPrintable(QString::number(actual.y())));
    QVERIFY2(withinOnePixel(actual.width(), twips.width()), qPrintable(QString::number(actual.width())));
    QVERIFY2(withinOnePixel(actual.height(), twips.height()), qPrintable(QString::number(actual.height())));
}

// The laid-out client area and the menu bar with its two commands and nothing below them.
void WindowLayoutTest::clientAreaAndMenu() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QVERIFY(withinOnePixel(h.window->centralWidget()->width() * kTwipsPerPixel, kClientWidthTwips));
    QCOMPARE(h.window->windowTitle(), QStringLiteral("QT2XX - TORVANE"));
    const QList<QAction*> commands = h.window->menuBar()->actions();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands[0], h.window->OpenFile());
    QCOMPARE(commands[0]->text(), QStringLiteral("OPEN"));
    QCOMPARE(commands[1]->text(), QStringLiteral("STORE"));
    for (QAction* command : commands) {
        QVERIFY(!command->menu<QMenu*>());
        QVERIFY(command->shortcut().isEmpty());
    }
}

void WindowLayoutTest::captions_data() {
    QTest::addColumn<QString>("caption");
    auto row = [](const char* name, const QString& caption) { QTest::newRow(name) << caption; };
    row("Frame2", QStringLiteral("Board Type"));
    row("Frame1", QStringLiteral("Current\u3001Voltage Design"));
    row("Frame3", QStringLiteral("Speed Mode Design"));
    row("Fram4", QStringLiteral("Timer && Others"));
    row("Label6", QStringLiteral("Open Root"));
    row("Label7", QStringLiteral("Store Root"));
    row("Label8", QStringLiteral("Comm Number"));
    row("cmdFileSend", kStartTransmit);
    row("Label1(0)", QStringLiteral("Transmit Guage"));
    row("Label1(6)", QStringLiteral("Sensor Degree\uFF1A"));
    row("Label1(3)", QStringLiteral("Phase Current(A)\uFF1A"));
    row("Label1(1)", QStringLiteral("Rated Current(A)\uFF1A"));
    row("Label1(2)", QStringLiteral("Low Voltage(V)\uFF1A"));
    row("Label1(4)", QStringLiteral("Toler Voltage(V)\uFF1A"));
    row("Label1(5)", QStringLiteral("Regen Voltage(V)\uFF1A"));
    row("Label2(0)", QStringLiteral("Speed Limit%\uFF1A"));
    row("Label2(1)", QStringLiteral("3|4 Speed Mode\uFF1A"));
    row("Label3(6)", QStringLiteral("Default Speed\uFF1A"));
    row("Label2(2)", QStringLiteral("Speed 1%\uFF1A"));
    row("Label2(3)", QStringLiteral("Speed 2%\uFF1A"));
    row("Label2(4)", QStringLiteral("Speed 3%\uFF1A"));
    row("Label2(7)", QStringLiteral("Speed 4%\uFF1A"));
    row("Label9", QStringLiteral("Indicate Mode\uFF1A"));
    row("Label3(1)", QStringLiteral("Converse Speed%\uFF1A"));
    row("Label3(0)", QStringLiteral("Block Time(s)\uFF1A"));
    row("Label4", QStringLiteral("Auto Curising Time(s)\uFF1A"));
    row("Label5", QStringLiteral("Slip Charge Mode\uFF1A"));
    row("Label2(6)", QStringLiteral("EBS Level\uFF1A"));
    row("Label3(7)", QStringLiteral("Limit&Cruise\uFF1A"));
    row("Label3(2)", QStringLiteral("Guard Level\uFF1A"));
    row("Label3(3)", QStringLiteral("Drive Saving\uFF1A"));
    row("Label3(4)", QStringLiteral("1+1 Choice\uFF1A"));
    row("Label3(5)", QStringLiteral("PAS Start Pulse\uFF1A"));
    row("Label3(8)", QStringLiteral("1+1Max Spd\uFF1A"));
}

// Captions keep their access-key ampersands; the toolkit draws "&&" as one ampersand and a single
// one as an underlined key.
void WindowLayoutTest::captions() {
    QFETCH(QString, caption);
    WindowHarness h;
    QWidget* widget = h.get(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), caption);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        QCOMPARE(group->title(), caption);
    else
        QCOMPARE(qobject_cast<QPushButton*>(widget)->text(), caption);
}

void WindowLayoutTest::labelColours() {
    WindowHarness h;
    const QColor standard = QLabel().palette().color(QPalette::WindowText);
    for (QLabel* label : h.window->findChildren<QLabel*>()) {
        const QColor colour = label->palette().color(QPalette::Active, QPalette::WindowText);
        if (label->objectName() == QStringLiteral("Label1(3)"))
            QCOMPARE(colour, QColor(255, 0, 0));
        else if (label->objectName() == QStringLiteral("Label1(6)"))
            QCOMPARE(colour, QColor(0, 0, 0));
        else if (!label->objectName().isEmpty())
            QVERIFY2(colour == standard, qPrintable(label->objectName()));
    }
}

// No caption is cut at the edge of its label, nor drawn under the control it names.
void WindowLayoutTest::captionsFitTheirRoom() {
    WindowHarness h;
    QVERIFY(h.showActive());
    for (QLabel* label : h.window->findChildren<QLabel*>()) {
        if (label->objectName().isEmpty())
            continue;
        const QRect ink = inkOf(label->grab().toImage());
        const QRect whole = unclippedInkOf(label);
        QVERIFY2(!ink.isEmpty(), qPrintable(label->objectName()));
        QVERIFY2(ink.size() == whole.size(), qPrintable(label->objectName()));
        QVERIFY2(ink.right() <= label->contentsRect().right(), qPrintable(label->objectName()));
    }
    for (QPushButton* button : h.window->findChildren<QPushButton*>())
        QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) < button->width());
    for (QGroupBox* group : h.window->findChildren<QGroupBox*>())
        QVERIFY(group->fontMetrics().horizontalAdvance(group->title()) < group->width());
}

// The window's font has a glyph for every character of every caption and list item, so none shows
// as a missing-glyph box.
void WindowLayoutTest::captionsHaveEveryGlyph() {
    WindowHarness h;
    QStringList texts{QStringLiteral("\u6587\u4EF6\u4F20\u8F93")};
    for (QLabel* label : h.window->findChildren<QLabel*>())
        texts << label->text();
    for (QGroupBox* group : h.window->findChildren<QGroupBox*>())
        texts << group->title();
    for (const ParameterDef& def : ParameterTable())
        texts << def.choices;
    const QRawFont font = QRawFont::fromFont(h.window->font());
    QVERIFY(font.isValid());
    for (const QString& text : texts)
        for (QChar c : text)
            QVERIFY2(font.supportsCharacter(c), qPrintable(text));
}

// Each list is pick-only, holds its parameter's choices in order and has nothing picked at start.
void WindowLayoutTest::lists() {
    WindowHarness h;
    for (int i = 0; i < kParameterCount; ++i) {
        QComboBox* list = h.list(i);
        QVERIFY(!list->isEditable());
        QCOMPARE(list->currentIndex(), -1);
        QStringList items;
        for (int k = 0; k < list->count(); ++k)
            items << list->itemText(k);
        QCOMPARE(items, ParameterTable()[i].choices);
    }
}

// The port box takes typed text as it stands: it is neither completed to an item nor added to the
// list.
void WindowLayoutTest::portBox() {
    WindowHarness h;
    auto* box = h.get<QComboBox>(QStringLiteral("cboComPort"));
    QVERIFY(box->isEditable());
    QCOMPARE(box->count(), 5);
    QCOMPARE(box->itemText(1), QStringLiteral("2   "));
    QVERIFY(h.showActive());
    box->setFocus();
    box->lineEdit()->clear();
    QTest::keyClicks(box, QStringLiteral("2"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(box->currentText(), QStringLiteral("2"));
    QCOMPARE(box->count(), 5);
    box->setCurrentIndex(1);
    QCOMPARE(h.window->portBoxText(), QStringLiteral("2   "));
}

// The Indicate Mode list is the window's own child, above the parameter panel, so it takes the
// clicks over the place where it lies.
void WindowLayoutTest::indicateModeStacksAbovePanel() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QComboBox* indicate = h.list(13);
    QWidget* client = h.window->centralWidget();
    QCOMPARE(indicate->parentWidget(), client);
    const QPoint centre = indicate->geometry().center();
    QWidget* top = client->childAt(centre);
    QVERIFY(top == indicate || indicate->isAncestorOf(top));
    QVERIFY(h.get(kParameterPanel)->geometry().contains(centre));
}

// Tab walks the controls in ascending tab index and Shift+Tab walks them back.
void WindowLayoutTest::tabOrder() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QCOMPARE(walkFocus(h, Qt::Key_Tab), kFocusOrder + QStringList{kFocusOrder.first()});
    QStringList backwards{kFocusOrder.first()};
    for (auto it = kFocusOrder.rbegin(); it != kFocusOrder.rend(); ++it)
        backwards << *it;
    QCOMPARE(walkFocus(h, Qt::Key_Backtab), backwards);
}

QTEST_MAIN(WindowLayoutTest)
#include "tst_window_layout.moc"
