// The captions as drawn: whole at any scale, clear of the controls beside them, and in their own
// colours during a run as well as before it.

#include "support/Pty.h"
#include "support/WindowHarness.h"

#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

// The ink of a grabbed image in logical pixels.
QRectF logicalInkOf(const QImage& image) {
    const QRect ink = inkOf(image);
    const qreal ratio = image.devicePixelRatio();
    return QRectF(ink.x() / ratio, ink.y() / ratio, ink.width() / ratio, ink.height() / ratio);
}

// The lines of a caption at the font's whole-pixel line height.
QRect linesOf(const QLabel* label) {
    const int wrap = label->wordWrap() ? int(Qt::TextWordWrap) : 0;
    QString shown = label->text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
    shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return label->fontMetrics().boundingRect(QRect(0, 0, label->contentsRect().width(), 0),
                                             Qt::AlignLeft | Qt::AlignTop | wrap, shown);
}

// The controls a caption could be drawn over: every control of the layout but the containers.
QList<QWidget*> neighbours(const WindowHarness& h, const QWidget* caption) {
    QList<QWidget*> found;
    for (const ControlLayout& row : WindowLayout()) {
        QWidget* widget = h.window->findChild<QWidget*>(row.name);
        const bool container = row.kind == ControlKind::Panel || row.kind == ControlKind::ParameterPanel ||
                               row.kind == ControlKind::GroupBox;
        if (widget && widget != caption && !container)
            found << widget;
    }
    return found;
}

QRectF inClient(const WindowHarness& h, const QWidget* widget, const QRectF& rect) {
    return rect.translated(widget->mapTo(h.window->centralWidget(), QPoint()));
}

// The strip of a group box that holds its title, above every control inside it.
QImage titleOf(QGroupBox* group) {
    const QFontMetrics metrics(group->font());
    return group
        ->grab(
            QRect(0, 0, metrics.horizontalAdvance(group->title()) + 2 * metrics.height(), metrics.height()))
        .toImage();
}

QMap<QString, QImage> drawnCaptions(const WindowHarness& h) {
    QMap<QString, QImage> drawn;
    for (QLabel* label : h.window->findChildren<QLabel*>())
        if (!label->objectName().isEmpty() && label->objectName() != QStringLiteral("Label1(0)"))
            drawn.insert(label->objectName(), label->grab().toImage());
    for (QGroupBox* group : h.window->findChildren<QGroupBox*>())
        drawn.insert(group->objectName(), titleOf(group));
    return drawn;
}

} // namespace

class WindowCaptionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captionsShowWhole();
    void captionsShowWholeAtDoubleScale();
    void captionsKeepTheirLookDuringARun();
};

// Each caption's lines lie inside the area its label draws, its glyphs are all drawn, and none of it
// lies under a neighbouring control.
void WindowCaptionsTest::captionsShowWhole() {
    WindowHarness h;
    QVERIFY(h.showActive());
    for (QLabel* label : h.window->findChildren<QLabel*>()) {
        if (label->objectName().isEmpty())
            continue;
        const QByteArray name = label->objectName().toUtf8();
        const QRect area = label->contentsRect();
        QVERIFY2(linesOf(label).height() <= label->height(), name);
        // The caption drawn with room to spare to the right and below.
        QWidget buddy;
        QLabel free(label->text());
        free.setBuddy(label->buddy() ? &buddy : nullptr);
        free.setFont(label->font());
        free.setWordWrap(label->wordWrap());
        free.setAlignment(label->alignment());
        free.setFixedSize(area.width() + (label->wordWrap() ? 0 : 100), area.height() + 100);
        const QRectF whole =
            logicalInkOf(free.grab().toImage())
                .translated(area.topLeft())
                .translated(0, label->alignment() & Qt::AlignBottom ? area.height() - free.height() : 0);
        const QRectF drawn = logicalInkOf(label->grab().toImage());
        QVERIFY2(drawn == whole, name + " drawn " + QByteArray::number(drawn.width()) + "x" +
                                     QByteArray::number(drawn.height()) + " of " +
                                     QByteArray::number(whole.width()) + "x" +
                                     QByteArray::number(whole.height()));
        QVERIFY2(QRectF(area).contains(whole), name);
        for (QWidget* other : neighbours(h, label))
            QVERIFY2(!inClient(h, label, whole).intersects(inClient(h, other, other->rect())),
                     name + " under " + other->objectName().toUtf8());
    }
}

// The same at a device pixel ratio of 2, in a child process started with that scale.
void WindowCaptionsTest::captionsShowWholeAtDoubleScale() {
    if (qgetenv("QT_SCALE_FACTOR") == "2")
        QSKIP("this process already runs at the double scale");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("captionsShowWhole")});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

// Disabling the panel for a run stops input to its lists, which show it, but no caption changes.
void WindowCaptionsTest::captionsKeepTheirLookDuringARun() {
    Pty pty;
    WindowHarness h;
    QVERIFY(h.showActive());
    QVERIFY(h.pickWorkedExample());
    const QMap<QString, QImage> before = drawnCaptions(h);
    const QImage panelList = h.list(12)->grab().toImage();
    const QImage indicateMode = h.list(13)->grab().toImage();
    h.get<QComboBox>(QStringLiteral("cboComPort"))->setEditText(pty.slavePath());
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QVERIFY(h.window->intCommFlag() != CommFlag::Idle);

    const QMap<QString, QImage> during = drawnCaptions(h);
    QCOMPARE(during.keys(), before.keys());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(during.value(it.key()) == it.value(), qPrintable(it.key()));
    QVERIFY(h.list(12)->grab().toImage() != panelList);
    QCOMPARE(h.list(13)->grab().toImage(), indicateMode);
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
}

QTEST_MAIN(WindowCaptionsTest)
#include "tst_window_captions.moc"
