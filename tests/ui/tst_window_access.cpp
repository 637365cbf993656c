// Keyboard and screen-reader access: every control has a name, access keys and the menu bar work
// from the keyboard, the focus shows, and a pick-only list can be changed but not typed into.

#include "support/WindowHarness.h"

#include <QAccessible>
#include <QLabel>
#include <QMenuBar>
#include <QTest>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString accessibleName(QObject* object) {
    return accessible(object)->text(QAccessible::Name);
}

// The widget a screen reader is told about when the control takes the focus.
QWidget* focusPart(QWidget* control) {
    while (control->focusProxy())
        control = control->focusProxy();
    return control;
}

// The controls that take the focus, in ascending tab index.
QStringList focusChain(const WindowHarness& h) {
    QMap<int, QString> byTabIndex;
    for (const ControlLayout& row : WindowLayout())
        if (row.tabIndex >= 0 && (focusPart(h.get(row.name))->focusPolicy() & Qt::TabFocus))
            byTabIndex.insert(row.tabIndex, row.name);
    return byTabIndex.values();
}

} // namespace

class WindowAccessTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listNames();
    void controlNames_data();
    void controlNames();
    void labelledBy_data();
    void labelledBy();
    void menuCommandNames();
    void accessKeyFocusesItsList();
    void menuBarFromTheKeyboard_data();
    void menuBarFromTheKeyboard();
    void listsPickByKeyboardOnly();
    void focusShows();
};

// Each list is called by its caption as the operator reads it, access-key ampersand and colon
// dropped; Board Type by its group.
void WindowAccessTest::listNames() {
    WindowHarness h;
    for (int i = 0; i < kParameterCount; ++i)
        QCOMPARE(accessibleName(h.list(i)), ParameterTable()[i].accessibleName());
    QCOMPARE(accessibleName(h.list(0)), QStringLiteral("Board Type"));
    QCOMPARE(accessibleName(h.list(25)), QStringLiteral("LimitCruise"));
}

void WindowAccessTest::controlNames_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("txtLoadDir") << QStringLiteral("Open Root");
    QTest::newRow("txtSaveDir") << QStringLiteral("Store Root");
    QTest::newRow("rtfReceive") << QStringLiteral("Status log");
    QTest::newRow("prgFileTransfer") << QStringLiteral("Transmit Guage");
    QTest::newRow("Label1(0)") << QStringLiteral("Transmit Guage");
    QTest::newRow("cmdShow") << QStringLiteral("<<Conceal");
    QTest::newRow("cmdFileSend") << kStartTransmit;
}

// The name is on the part that takes the focus, which is what a screen reader announces.
void WindowAccessTest::controlNames() {
    QFETCH(QString, name);
    WindowHarness h;
    QCOMPARE(accessibleName(focusPart(h.get(QString::fromLatin1(QTest::currentDataTag())))), name);
}

void WindowAccessTest::labelledBy_data() {
    QTest::addColumn<QString>("label");
    QTest::newRow("cboComPort") << QStringLiteral("Label8");
    QTest::newRow("txtLoadDir") << QStringLiteral("Label6");
    QTest::newRow("Combo1(1)") << QStringLiteral("Label1(3)");
    QTest::newRow("Combo1(25)") << QStringLiteral("Label3(7)");
}

// A box that shows a value of its own is announced by its value and, through the labelled-by
// relation, by the caption beside it.
void WindowAccessTest::labelledBy() {
    QFETCH(QString, label);
    WindowHarness h;
    QWidget* box = h.get(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(h.get<QLabel>(label)->buddy(), box);
    bool found = false;
    for (const auto& [other, relation] : accessible(box)->relations(QAccessible::Label))
        found = found || other->object() == h.get(label);
    QVERIFY(found);
}

void WindowAccessTest::menuCommandNames() {
    WindowHarness h;
    QAccessibleInterface* bar = accessible(h.window->menuBar());
    QCOMPARE(bar->childCount(), 2);
    QCOMPARE(bar->child(0)->text(QAccessible::Name), QStringLiteral("OPEN"));
    QCOMPARE(bar->child(1)->text(QAccessible::Name), QStringLiteral("STORE"));
}

// "Limit&Cruise：" underlines the C, and Alt+C moves the focus to its list.
void WindowAccessTest::accessKeyFocusesItsList() {
    WindowHarness h;
    QVERIFY(h.showActive());
    h.get(QStringLiteral("cmdShow"))->setFocus();
    QTest::keyClick(h.window.get(), Qt::Key_C, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), h.list(25));
}

void WindowAccessTest::menuBarFromTheKeyboard_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Alt") << int(Qt::Key_Alt);
    QTest::newRow("F10") << int(Qt::Key_F10);
}

// The key puts the menu bar under the keyboard; the arrows and Return then reach STORE, which with
// nothing picked refuses with its message.
void WindowAccessTest::menuBarFromTheKeyboard() {
    QFETCH(int, key);
    WindowHarness h;
    QVERIFY(h.showActive());
    h.get(QStringLiteral("cmdShow"))->setFocus();
    QTest::keyClick(h.window.get(), Qt::Key(key));
    QCOMPARE(h.window->menuBar()->activeAction(), h.window->OpenFile());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(h.window->menuBar()->activeAction(), h.window->StoreFile());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(h.messages->texts(), QStringList{kBlankParameterMessage});
}

// Arrow keys and first characters pick items; a character that begins no item changes nothing, and
// no text other than an item can get in.
void WindowAccessTest::listsPickByKeyboardOnly() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QComboBox* lowVoltage = h.list(3);
    lowVoltage->setFocus();
    QTest::keyClick(lowVoltage, Qt::Key_Down);
    QCOMPARE(lowVoltage->currentText(), QStringLiteral("18.8"));
    QTest::keyClick(lowVoltage, Qt::Key_Down);
    QCOMPARE(lowVoltage->currentText(), QStringLiteral("18.9"));
    QTest::keyClicks(lowVoltage, QStringLiteral("4"));
    QCOMPARE(lowVoltage->currentText(), QStringLiteral("40.0"));
    QTest::keyClicks(lowVoltage, QStringLiteral("x"));
    QCOMPARE(lowVoltage->currentText(), QStringLiteral("40.0"));
    QVERIFY(!lowVoltage->lineEdit());
}

// Every control that takes the focus looks different while it has it.
void WindowAccessTest::focusShows() {
    WindowHarness h;
    QVERIFY(h.showActive());
    QHash<QString, QImage> unfocused;
    QApplication::focusWidget()->clearFocus();
    const QStringList chain = focusChain(h);
    for (const QString& name : chain)
        unfocused.insert(name, h.get(name)->grab().toImage());
    h.get(chain.last())->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QStringList unchanged;
    for (const QString& name : chain) {
        if (h.get(name)->grab().toImage() == unfocused.value(name))
            unchanged << name;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(unchanged, QStringList());
}

QTEST_MAIN(WindowAccessTest)
#include "tst_window_access.moc"
