#include "platform/widgets/QtMessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qt2xx;

namespace {

struct SeenBox {
    bool seen = false;
    bool modal = false;
    QString title;
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::Warning;
    bool hasIconPixmap = true;
    QList<QMessageBox::StandardButton> buttons;
    Qt::TextFormat informativeFormat = Qt::AutoText;
    qreal informativePointSize = 0;
    qreal textPointSize = 0;
};

// Records what the open box shows, then presses its OK button as the operator would.
void inspectAndAccept(SeenBox& seen) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr)
        return;
    seen.seen = true;
    seen.modal = box->isModal();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.informative = box->informativeText();
    seen.icon = box->icon();
    seen.hasIconPixmap = !box->iconPixmap().isNull();
    for (QAbstractButton* button : box->buttons())
        seen.buttons << box->standardButton(button);
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (!seen.informative.isEmpty() && label->text() == seen.informative) {
            seen.informativeFormat = label->textFormat();
            seen.informativePointSize = label->font().pointSizeF();
        } else if (label->text() == seen.text) {
            seen.textPointSize = label->font().pointSizeF();
        }
    }
    box->button(QMessageBox::Ok)->click();
}

} // namespace

class TestStatusLogMessageBox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsOneOkModalBoxWithTitle_data();
    void showsOneOkModalBoxWithTitle();
};

void TestStatusLogMessageBox::showsOneOkModalBoxWithTitle_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("informative");

    QTest::newRow("text alone") << "Parameter can not be blank space" << QString();
    QTest::newRow("text with the device and reason") << "This Comm is no use,please try others!"
                                                     << "/dev/ttyUSB0: Permission denied";
    QTest::newRow("markup in the reason shows as written") << "This Comm is occupied,please try others!"
                                                           << "<b>/dev/ttyS4</b> is locked";
    QTest::newRow("Chinese punctuation in the text")
        << "The Transmit is Prossessing，can not open file" << QString();
}

void TestStatusLogMessageBox::showsOneOkModalBoxWithTitle() {
    QFETCH(QString, text);
    QFETCH(QString, informative);
    QWidget parent;
    parent.show();
    QtMessageBox messages(&parent);
    SeenBox seen;
    QTimer::singleShot(0, &parent, [&seen] { inspectAndAccept(seen); });

    messages.show(text, informative);

    QVERIFY(seen.seen);
    QVERIFY(seen.modal);
    QCOMPARE(seen.title, QString("QT2XX - TORVANE"));
    QCOMPARE(seen.text, text);
    QCOMPARE(seen.informative, informative);
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QVERIFY(!seen.hasIconPixmap);
    QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    if (!informative.isEmpty()) {
        QCOMPARE(seen.informativeFormat, Qt::PlainText);
        QVERIFY(seen.informativePointSize > 0);
        QVERIFY(seen.informativePointSize < seen.textPointSize);
    }
}

QTEST_MAIN(TestStatusLogMessageBox)
#include "tst_statuslog_messagebox.moc"
