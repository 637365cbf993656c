// The whole road through the real window: lists picked, Start pressed with the virtual controller in
// the port box, controllers programmed one after the other on the 100 ms tick, Stop pressed.

#include "support/SimProcess.h"
#include "support/WindowHarness.h"

#include "params/FrameEncoder.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 20000;
const QColor kBlue(0, 0, 255);

QString hexOf(const DownloadFrame& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), kFrameSize).toHex(' ').toUpper();
}

// The frame the lists stand for now.
std::optional<DownloadFrame> frameOfLists(const frmMain& window) {
    ParameterValues values{};
    DownloadFrame frame{};
    if (CaptureParameterValues(values, [&](int i) { return window.comboText(i); }) ||
        BuildDownloadFrame(values, frame))
        return std::nullopt;
    return frame;
}

// The colour of the last line of the log that reads `text`.
std::optional<QColor> colourOfLine(const RichTextBox& log, const QString& text) {
    const int start = log.text().lastIndexOf(text + QLatin1Char('\r'));
    return start < 0 ? std::nullopt : log.colorAt(start);
}

} // namespace

class WindowRoadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeRoad();
};

// Concealing the window and changing Indicate Mode during the run change nothing of what is sent:
// every controller gets the frame built at Start.
void WindowRoadTest::wholeRoad() {
    SimProcess controller;
    QVERIFY(controller.device().startsWith(QLatin1Char('/')));
    WindowHarness h;
    QVERIFY(h.showActive());
    QVERIFY(h.pickWorkedExample());
    const std::optional<DownloadFrame> atStart = frameOfLists(*h.window);
    QVERIFY(atStart);
    h.get<QComboBox>(QStringLiteral("cboComPort"))->setEditText(controller.device());

    auto* progress = h.get<QProgressBar>(QStringLiteral("prgFileTransfer"));
    QList<int> progressAtFinished;
    auto* document = h.log()->findChild<QTextDocument*>();
    QVERIFY(document);
    connect(document, &QTextDocument::contentsChanged, this, [&] {
        if (h.log()->text().endsWith(kFinishedMessage + QLatin1Char('\r')))
            progressAtFinished << progress->value();
    });

    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QCOMPARE(colourOfLine(*h.log(), kStartTransmit), kBlue);
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdShow")), Qt::LeftButton);
    h.list(13)->setCurrentIndex(1 - h.list(13)->currentIndex());

    QTRY_VERIFY_WITH_TIMEOUT(controller.programmed().size() >= 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(progressAtFinished.size(), 2, kWait);
    QCOMPARE(progressAtFinished, (QList<int>{100, 100}));
    QCOMPARE(colourOfLine(*h.log(), kFinishedMessage), kBlue);
    QCOMPARE(controller.programmed().mid(0, 2), QStringList(2, hexOf(*atStart)));
    QVERIFY(hexOf(*atStart) != hexOf(*frameOfLists(*h.window)));

    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QCOMPARE(h.window->intCommFlag(), CommFlag::Idle);
    QVERIFY(h.log()->text().endsWith(kCommClosedMessage + QLatin1Char('\r')));
    QCOMPARE(colourOfLine(*h.log(), kCommClosedMessage), kBlue);
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdFileSend"))->text(), kStartTransmit);
    QVERIFY(!h.log()->text().contains(QStringLiteral("Failure")));
}

QTEST_MAIN(WindowRoadTest)
#include "tst_window_road.moc"
