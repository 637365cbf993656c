#include "link/SequencerMessages.h"
#include "platform/widgets/RichTextBox.h"
#include "ui/StatusLogBox.h"
#include "ui/tst_statuslog_reference.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <random>

using namespace qt2xx;

namespace {

const QStringList kMessages = {"Start Transmit",    "Finished",    "Transmit Failure",
                               "Storage Failure",   "No responce", "No Storage responce",
                               "The Comm is Closed"};

// A shown window holding one log box, the size the window gives it.
struct LogWindow {
    QWidget window;
    RichTextBox* box = new RichTextBox(&window);
    StatusLogBox log{*box};

    LogWindow() {
        box->setGeometry(0, 0, 185, 81);
        window.resize(200, 100);
        window.show();
    }
    QPlainTextEdit* edit() const { return box->findChild<QPlainTextEdit*>(); }
};

// One letter per character: g, r, b for the three colours, '.' for the default colour, '?' for any other.
QString colourLetters(const RichTextBox& box) {
    QString letters;
    for (int offset = 0; offset < box.textLength(); ++offset) {
        const std::optional<QColor> color = box.colorAt(offset);
        if (!color)
            letters += u'.';
        else if (*color == QColor(0, 255, 0))
            letters += u'g';
        else if (*color == QColor(255, 0, 0))
            letters += u'r';
        else if (*color == QColor(0, 0, 255))
            letters += u'b';
        else
            letters += u'?';
    }
    return letters;
}

// Each message's letter repeated over the message and its carriage return.
QString letterPerCharacter(const QStringList& messages, const QString& letterPerMessage) {
    QString letters;
    for (qsizetype i = 0; i < messages.size(); ++i)
        letters += QString(messages[i].size() + 1, letterPerMessage[i]);
    return letters;
}

QStringList realMessages(qsizetype count) {
    QStringList messages;
    for (qsizetype i = 0; i < count; ++i)
        messages << kMessages[i % kMessages.size()];
    return messages;
}

QString logText(const QStringList& messages) {
    QString text;
    for (const QString& message : messages)
        text += message + u'\r';
    return text;
}

// Messages of 0 to 12 characters: Latin, Chinese, a character outside the basic plane, and now and then
// a line break inside the message.
QString randomMessage(std::mt19937& random) {
    static const QStringList pieces = {"a", "Z", " ", "7", "传", "输", "\U0001D11E", "\n", "\r\n"};
    std::uniform_int_distribution<int> length(0, 12);
    std::discrete_distribution<int> piece({8, 8, 3, 3, 3, 3, 1, 1, 1});
    QString message;
    for (int n = length(random); n > 0; --n)
        message += pieces[piece(random)];
    return message;
}

} // namespace

class TestStatusLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void coloursAfterMessages_data();
    void coloursAfterMessages();
    void marksRestartWithEveryFifthMessage();
    void emptyMessageIsOneColouredCarriageReturn();
    void selectionCoversNewestMessage();

    void offsetsMapToParagraphs_data();
    void offsetsMapToParagraphs();

    void matchesWholeTextReplacingLog_data();
    void matchesWholeTextReplacingLog();

    void resetEmptiesTextAndForgetsMarks();
    void operatorCannotType();
    void newestLineStaysInView();
    void defaultFontShowsChinese();
};

void TestStatusLog::coloursAfterMessages_data() {
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QString>("expected"); // one letter per message

    QTest::newRow("first message, blue") << QList<int>{3} << "b";
    QTest::newRow("four messages, all coloured") << QList<int>{3, 2, 2, 3} << "brrb";
    QTest::newRow("fifth message alone coloured") << QList<int>{3, 2, 2, 3, 2} << "....r";
    QTest::newRow("sixth: fifth and sixth coloured") << QList<int>{3, 2, 2, 3, 2, 3} << "....rb";
    QTest::newRow("eighth: fifth to eighth coloured") << QList<int>{3, 2, 2, 3, 2, 3, 1, 2} << "....rbgr";
    QTest::newRow("ninth message alone coloured") << QList<int>{3, 2, 2, 3, 2, 3, 1, 2, 3} << "........b";
    QTest::newRow("thirteenth alone coloured") << QList<int>(13, 2) << "............r";
    QTest::newRow("code 1 green") << QList<int>{1} << "g";
    QTest::newRow("codes 0 and 7 uncoloured") << QList<int>{0, 7, 3} << "..b";
    QTest::newRow("uncoloured message right after a coloured one") << QList<int>{3, 0} << "b.";
    QTest::newRow("uncoloured codes still take a place among four") << QList<int>{0, 7, -1, 4, 3} << "....b";
    QTest::newRow("uncoloured fifth clears the four before") << QList<int>{1, 2, 3, 1, 0} << ".....";
}

void TestStatusLog::coloursAfterMessages() {
    QFETCH(QList<int>, codes);
    QFETCH(QString, expected);
    LogWindow w;
    const QStringList messages = realMessages(codes.size());

    for (qsizetype i = 0; i < codes.size(); ++i)
        w.log.ReceiveDisplay(messages[i], LogColor(codes[i]));

    QCOMPARE(w.box->text(), logText(messages));
    QCOMPARE(colourLetters(*w.box), letterPerCharacter(messages, expected));
}

void TestStatusLog::marksRestartWithEveryFifthMessage() {
    LogWindow w;
    QList<int> starts;
    for (int i = 0; i < 9; ++i) {
        starts << w.box->textLength();
        w.log.ReceiveDisplay(kMessages[i % kMessages.size()], LogColor(i));

        const auto marks = w.log.lngColorMarks();
        QCOMPARE(w.log.markCount(), i % 4 + 1);
        QCOMPARE(int(marks.size()), w.log.markCount());
        for (int k = 0; k < w.log.markCount(); ++k)
            QCOMPARE(marks[k], (ColorMark{starts[i - i % 4 + k], i - i % 4 + k}));
    }
}

void TestStatusLog::emptyMessageIsOneColouredCarriageReturn() {
    LogWindow w;
    w.log.ReceiveDisplay(kFinishedMessage, kLogBlue);
    w.log.ReceiveDisplay("", kLogRed);
    w.log.ReceiveDisplay("x", kLogGreen);

    QCOMPARE(w.box->text(), QString("Finished\r\rx\r"));
    QCOMPARE(colourLetters(*w.box), QString("bbbbbbbbb") + "r" + "gg");
    QCOMPARE(w.log.lngColorMarks()[1], (ColorMark{9, kLogRed}));
    QCOMPARE(w.log.lngColorMarks()[2], (ColorMark{10, kLogGreen}));
}

void TestStatusLog::selectionCoversNewestMessage() {
    LogWindow w;
    const QStringList messages = {"Start Transmit", "",     "No responce",
                                  "Finished",       "传输", "The Comm is Closed"};
    int start = 0;
    for (const QString& message : messages) {
        w.log.ReceiveDisplay(message, LogColor{0});
        QCOMPARE(w.box->selStart(), start);
        QCOMPARE(w.box->selLength(), int(message.size()) + 1);
        // What the widget itself shows as selected, its paragraph end included.
        QCOMPARE(w.edit()->textCursor().selectedText(), message + QChar::ParagraphSeparator);
        start += message.size() + 1;
    }
}

void TestStatusLog::offsetsMapToParagraphs_data() {
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("paragraphs"); // the widget's paragraphs, the last open one included
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QList<int>>("expectedParagraph");
    QTest::addColumn<QList<int>>("expectedColumn");

    QTest::newRow("a carriage return ends each paragraph")
        << QStringList{"ab", "", "cde"} << QStringList{"ab", "", "cde", ""} //
        << QList<int>{0, 2, 3, 4, 6, 7, 8} << QList<int>{0, 0, 1, 2, 2, 2, 3}
        << QList<int>{0, 2, 0, 0, 2, 3, 0};
    QTest::newRow("a CR LF inside a message is two paragraph ends")
        << QStringList{"a\r\nb"} << QStringList{"a", "", "b", ""} //
        << QList<int>{0, 1, 2, 3, 4, 5} << QList<int>{0, 0, 1, 2, 2, 3} << QList<int>{0, 1, 0, 0, 1, 0};
    QTest::newRow("a character outside the basic plane takes two offsets")
        << QStringList{"\U0001D11Ex", "y"} << QStringList{"\U0001D11Ex", "y", ""} //
        << QList<int>{0, 2, 3, 4, 5, 6} << QList<int>{0, 0, 0, 1, 1, 2} << QList<int>{0, 2, 3, 0, 1, 0};
}

void TestStatusLog::offsetsMapToParagraphs() {
    QFETCH(QStringList, messages);
    QFETCH(QStringList, paragraphs);
    QFETCH(QList<int>, offsets);
    QFETCH(QList<int>, expectedParagraph);
    QFETCH(QList<int>, expectedColumn);
    LogWindow w;
    for (const QString& message : messages)
        w.log.ReceiveDisplay(message, kLogRed);

    const QTextDocument* document = w.edit()->document();
    QCOMPARE(document->blockCount(), paragraphs.size());
    for (int k = 0; k < paragraphs.size(); ++k)
        QCOMPARE(document->findBlockByNumber(k).text(), paragraphs[k]);
    QCOMPARE(w.box->textLength(), logText(messages).size());
    for (qsizetype i = 0; i < offsets.size(); ++i) {
        const TextPosition expected{expectedParagraph[i], expectedColumn[i]};
        QCOMPARE(w.box->positionOf(offsets[i]), expected);
        QCOMPARE(w.box->offsetOf(expected), offsets[i]);
    }
    // The colour of the last message reaches exactly to the end, whatever its line breaks.
    QCOMPARE(colourLetters(*w.box), QString(w.box->textLength(), u'r'));
}

void TestStatusLog::matchesWholeTextReplacingLog_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("count");
    for (unsigned seed : {1u, 2u, 3u, 20240601u})
        QTest::addRow("seed %u", seed) << seed << 300;
}

void TestStatusLog::matchesWholeTextReplacingLog() {
    QFETCH(unsigned, seed);
    QFETCH(int, count);
    LogWindow w;
    RichTextBox referenceBox(&w.window);
    LiteralStatusLog reference(referenceBox);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> code(-1, 8);
    QString expectedText;

    for (int i = 0; i < count; ++i) {
        const QString message = randomMessage(random);
        const LogColor color = LogColor(code(random));
        w.log.ReceiveDisplay(message, color);
        reference.ReceiveDisplay(message, color);
        expectedText += QString(message).replace(u'\n', u'\r') + u'\r';

        QCOMPARE(w.box->text(), expectedText);
        QCOMPARE(referenceBox.text(), expectedText);
        QCOMPARE(colourLetters(*w.box), colourLetters(referenceBox));
        QCOMPARE(w.box->selStart(), referenceBox.selStart());
        QCOMPARE(w.box->selLength(), referenceBox.selLength());
    }
}

void TestStatusLog::resetEmptiesTextAndForgetsMarks() {
    LogWindow w;
    w.box->setText("RichTextBox1");
    for (int i = 0; i < 3; ++i)
        w.log.ReceiveDisplay(kMessages[i], kLogBlue);

    w.log.reset();
    QCOMPARE(w.box->text(), QString());
    QCOMPARE(w.log.markCount(), 0);

    // Stale marks would clear or colour the wrong ranges once four new messages have come.
    const QStringList messages = realMessages(5);
    for (const QString& message : messages)
        w.log.ReceiveDisplay(message, kLogRed);
    QCOMPARE(w.box->text(), logText(messages));
    QCOMPARE(colourLetters(*w.box), letterPerCharacter(messages, "....r"));
    QCOMPARE(w.log.lngColorMarks()[0], (ColorMark{int(logText(messages.first(4)).size()), kLogRed}));
}

void TestStatusLog::operatorCannotType() {
    LogWindow w;
    w.log.ReceiveDisplay(kStartTransmit, kLogBlue);
    w.edit()->setFocus();

    QTest::keyClicks(w.edit(), "typed");
    QTest::keyClick(w.edit(), Qt::Key_Return);
    QTest::keyClick(w.edit(), Qt::Key_Backspace);
    QTest::keyClick(w.edit(), Qt::Key_Delete);

    QCOMPARE(w.box->text(), QString("Start Transmit\r"));
}

void TestStatusLog::newestLineStaysInView() {
    LogWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    for (int i = 0; i < 200; ++i)
        w.log.ReceiveDisplay(kMessages[i % kMessages.size()], LogColor(i % 4));
    QCoreApplication::processEvents();

    QScrollBar* bar = w.edit()->verticalScrollBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), bar->maximum());
    QTextCursor newest(w.edit()->document());
    newest.setPosition(w.log.lngColorMarks().back().start);
    QVERIFY(w.edit()->viewport()->rect().contains(w.edit()->cursorRect(newest)));
}

void TestStatusLog::defaultFontShowsChinese() {
    LogWindow w;
    const QFont font = w.edit()->font();
    QCOMPARE(font.pointSize(), 9);
    QCOMPARE(QFontInfo(font).family(), QString("WenQuanYi Micro Hei"));
    QVERIFY(QFontMetrics(font).inFont(u'传'));
}

QTEST_MAIN(TestStatusLog)
#include "tst_statuslog.moc"
