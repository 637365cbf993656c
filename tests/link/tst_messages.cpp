// The operator's messages and the wire's bytes, each pinned to its exact characters once here, so a
// slip in a declaration fails even though every other test compares against the declaration.
#include "files/FileCommands.h"
#include "link/PortConnection.h"
#include "link/Protocol.h"
#include "link/SequencerMessages.h"
#include "params/FrameEncoder.h"
#include "params/ParameterValues.h"
#include "platform/core/MessageBox.h"

#include <QTest>

using namespace qt2xx;

class TestMessages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyMessageKeepsItsCharacters_data();
    void everyMessageKeepsItsCharacters();
    void outcomesLogTheirLineInTheirColour_data();
    void outcomesLogTheirLineInTheirColour();
    void protocolBytes();
};

void TestMessages::everyMessageKeepsItsCharacters_data() {
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("expected");
    QTest::newRow("title") << kApplicationTitle << QStringLiteral("QT2XX - TORVANE");
    QTest::newRow("start caption") << kStartTransmit << QStringLiteral("Start Transmit");
    QTest::newRow("stop caption") << kStopTransmit << QStringLiteral("Stop Transmit");
    QTest::newRow("closed") << kCommClosedMessage << QStringLiteral("The Comm is Closed");
    QTest::newRow("finished") << kFinishedMessage << QStringLiteral("Finished");
    QTest::newRow("transmit failure") << kTransmitFailureMessage << QStringLiteral("Transmit Failure");
    QTest::newRow("storage failure") << kStorageFailureMessage << QStringLiteral("Storage Failure");
    QTest::newRow("no response") << kNoResponseMessage << QStringLiteral("No responce");
    QTest::newRow("no storage response")
        << kNoStorageResponseMessage << QStringLiteral("No Storage responce");
    QTest::newRow("comm lost") << kCommLostMessage << QStringLiteral("The Comm is lost");
    QTest::newRow("comm back") << kCommBackMessage << QStringLiteral("The Comm is back");
    QTest::newRow("no use") << kCommNoUseMessage << QStringLiteral("This Comm is no use,please try others!");
    QTest::newRow("occupied") << kCommOccupiedMessage
                              << QStringLiteral("This Comm is occupied,please try others!");
    QTest::newRow("blank") << kBlankParameterMessage << QStringLiteral("Parameter can not be blank space");
    // The comma is the full-width U+FF0C.
    QTest::newRow("open during run") << kOpenDuringRunMessage
                                     << QString::fromUtf8("The Transmit is Prossessing\xEF\xBC\x8C"
                                                          "can not open file");
    QTest::newRow("can not open") << kCanNotOpenMessage << QStringLiteral("Can not open file");
    QTest::newRow("can not store") << kCanNotStoreMessage << QStringLiteral("Can not store file");
}

void TestMessages::everyMessageKeepsItsCharacters() {
    QFETCH(QString, declared);
    QFETCH(QString, expected);
    QCOMPARE(declared, expected);
}

void TestMessages::outcomesLogTheirLineInTheirColour_data() {
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<LogColor>("color");
    QTest::newRow("finished") << Outcome::Finished << QStringLiteral("Finished") << kLogBlue;
    QTest::newRow("transmit failure")
        << Outcome::TransmitFailure << QStringLiteral("Transmit Failure") << kLogRed;
    QTest::newRow("storage failure") << Outcome::StorageFailure << QStringLiteral("Storage Failure")
                                     << kLogRed;
    QTest::newRow("no response") << Outcome::NoResponse << QStringLiteral("No responce") << kLogRed;
    QTest::newRow("no storage response")
        << Outcome::NoStorageResponse << QStringLiteral("No Storage responce") << kLogRed;
}

void TestMessages::outcomesLogTheirLineInTheirColour() {
    QFETCH(Outcome, outcome);
    QFETCH(QString, text);
    QFETCH(LogColor, color);
    const LogEntry entry = OutcomeLogEntry(outcome);
    QCOMPARE(entry.text, text);
    QCOMPARE(entry.color, color);
}

void TestMessages::protocolBytes() {
    QCOMPARE(QByteArray(kHandshakeRequest), QByteArray("8"));
    QCOMPARE(kHandshakeByte, '8');
    QCOMPARE(kReadyByte, 'U');
    QCOMPARE(kAcceptedByte, 'Q');
    QCOMPARE(kStoredByte, 'R');
    QCOMPARE(kFrameSize, 32);
    QCOMPARE(kFrameLead0, std::uint8_t(0x02));
    QCOMPARE(kFrameLead1, std::uint8_t(0x0F));
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
