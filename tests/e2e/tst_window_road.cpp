// The whole road through the real window: lists picked, Start pressed with the virtual controller in
// the port box, controllers programmed one after the other on the 100 ms tick, Stop pressed.

#include "ui/WindowHarness.h"

#include "params/FrameEncoder.h"

#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 20000;
const QColor kBlue(0, 0, 255);

// qt2xx-controller-sim, whose first line is the device to type into the port box.
class VirtualController {
public:
    VirtualController() {
        m_process.start(QStringLiteral(QT2XX_BIN_DIR "/qt2xx-controller-sim"));
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine().trimmed());
    }
    ~VirtualController() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    QString device() const { return m_device; }

    // The frames stored so far, as the controller printed them.
    QStringList programmed() {
        while (m_process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_process.readLine().trimmed());
            if (line.startsWith(QStringLiteral("programmed ")))
                m_frames << line.section(QStringLiteral(": "), 1);
        }
        return m_frames;
    }

private:
    QProcess m_process;
    QString m_device;
    QStringList m_frames;
};

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
    VirtualController controller;
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
        if (h.log()->text().endsWith(QStringLiteral("Finished\r")))
            progressAtFinished << progress->value();
    });

    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QCOMPARE(colourOfLine(*h.log(), QStringLiteral("Start Transmit")), kBlue);
    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdShow")), Qt::LeftButton);
    h.list(13)->setCurrentIndex(1 - h.list(13)->currentIndex());

    QTRY_VERIFY_WITH_TIMEOUT(controller.programmed().size() >= 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(progressAtFinished.size(), 2, kWait);
    QCOMPARE(progressAtFinished, (QList<int>{100, 100}));
    QCOMPARE(colourOfLine(*h.log(), QStringLiteral("Finished")), kBlue);
    QCOMPARE(controller.programmed().mid(0, 2), QStringList(2, hexOf(*atStart)));
    QVERIFY(hexOf(*atStart) != hexOf(*frameOfLists(*h.window)));

    QTest::mouseClick(h.get<QPushButton>(QStringLiteral("cmdFileSend")), Qt::LeftButton);
    QCOMPARE(h.window->intCommFlag(), 0);
    QVERIFY(h.log()->text().endsWith(QStringLiteral("The Comm is Closed\r")));
    QCOMPARE(colourOfLine(*h.log(), QStringLiteral("The Comm is Closed")), kBlue);
    QCOMPARE(h.get<QPushButton>(QStringLiteral("cmdFileSend"))->text(), QStringLiteral("Start Transmit"));
    QVERIFY(!h.log()->text().contains(QStringLiteral("Failure")));
}

QTEST_MAIN(WindowRoadTest)
#include "tst_window_road.moc"
