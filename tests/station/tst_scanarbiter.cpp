#include "station/ScanArbiter.h"
#include "station/SerialText.h"

#include <QSet>
#include <QTest>

#include <string>

using namespace qt2xx;

class TestScanArbiter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void armsSlotsByTheRules();
    void fillsSlotsInTurn_data();
    void fillsSlotsInTurn();
    void refusesSerialsThatAreNotCleanText_data();
    void refusesSerialsThatAreNotCleanText();
};

namespace {

// What a scan did, as one text: "armed 2", "rework 1", "ignored" or the reason it was refused.
QString scan(ScanArbiter& arbiter, const char* line) {
    const ScanArbiter::Scan s = arbiter.scan(QString::fromLatin1(line));
    switch (s.outcome) {
    case ScanArbiter::Outcome::Armed:
        return QStringLiteral("%1 %2").arg(s.rework ? "rework" : "armed").arg(s.slot);
    case ScanArbiter::Outcome::Refused:
        return s.reason;
    case ScanArbiter::Outcome::Ignored:
        break;
    }
    return QStringLiteral("ignored");
}

} // namespace

// Three slots, an order that needs four units with serials, a database that knows one finished
// unit: a whole run of scans, checked after each step.
void TestScanArbiter::armsSlotsByTheRules() {
    QStringList asked;
    auto alreadyFinished = [&asked](const QString& serial) {
        asked << serial;
        return serial == QLatin1String("QT2C-00000009");
    };
    ScanArbiter a(3, QStringLiteral("^QT2C-[0-9]{8}$"), alreadyFinished, false, 4);

    QCOMPARE(a.nextSlot(), 1);
    QVERIFY(a.wantsInput());
    QCOMPARE(scan(a, "   "), QStringLiteral("ignored"));
    QCOMPARE(scan(a, "  QT2C-00000001\r"), QStringLiteral("armed 1"));
    QCOMPARE(a.serial(1), QStringLiteral("QT2C-00000001"));
    QCOMPARE(a.nextSlot(), 2);
    QCOMPARE(scan(a, "QT2C-1"),
             QStringLiteral("QT2C-1 does not match the order's serial pattern ^QT2C-[0-9]{8}$."));
    QVERIFY(scan(a, "xQT2C-00000002").contains(QLatin1String("does not match"))); // matched whole
    QCOMPARE(scan(a, "QT2C-00000001"), QStringLiteral("QT2C-00000001 is already armed on slot 1."));
    QCOMPARE(scan(a, "QT2C-00000009"), QStringLiteral("QT2C-00000009 already has a finished record."));
    QCOMPARE(asked, QStringList({QStringLiteral("QT2C-00000001"), QStringLiteral("QT2C-00000009")}));
    QCOMPARE(scan(a, "QT2C-00000002"), QStringLiteral("armed 2"));
    QCOMPARE(scan(a, "QT2C-00000003"), QStringLiteral("armed 3"));
    QVERIFY(!a.wantsInput());
    QCOMPARE(scan(a, "QT2C-00000004"), QStringLiteral("Every slot is busy."));

    // Slot 2 fails: the next scan goes to it, and a failed serial may come again.
    a.unitEnded(2);
    QCOMPARE(a.nextSlot(), 2);
    QCOMPARE(scan(a, "QT2C-00000002"), QStringLiteral("armed 2"));
    // Slots 1 and 3 finish: two needed, two armed, so the free slots take no scan.
    a.unitEnded(1);
    a.setUnitsNeeded(3);
    QCOMPARE(scan(a, "QT2C-00000005"), QStringLiteral("armed 1"));
    a.unitEnded(3);
    a.setUnitsNeeded(2);
    QCOMPARE(a.nextSlot(), 0);
    QVERIFY(!a.wantsInput());
    QCOMPARE(scan(a, "QT2C-00000006"), QStringLiteral("The order needs no more units."));
    a.unitEnded(2); // failed: still two needed
    QCOMPARE(a.nextSlot(), 2);

    // End of input: armed slots finish their units, then the run is over.
    a.endOfInput();
    QVERIFY(!a.wantsInput());
    QCOMPARE(scan(a, "QT2C-00000006"), QStringLiteral("Scanning has ended."));
    QVERIFY(!a.finished());
    a.unitEnded(1);
    QVERIFY(a.finished());

    // Rework allowed: a finished serial arms and says so; without a pattern any label is taken.
    ScanArbiter rework(2, QString(), alreadyFinished, true);
    QCOMPARE(scan(rework, "QT2C-00000009"), QStringLiteral("rework 1"));
    QVERIFY(rework.isRework(1));
    QCOMPARE(scan(rework, "any label"), QStringLiteral("armed 2"));
    rework.setUnitsNeeded(0);
    QVERIFY(!rework.finished()); // complete, but two units still under way
    rework.unitEnded(1);
    rework.unitEnded(2);
    QVERIFY(rework.finished());
}

void TestScanArbiter::fillsSlotsInTurn_data() {
    // Steps on four slots, each scan with a new serial: "scan: <what it did>", "end N" (the unit
    // in slot N ended), "hold N" / "free N" (slot N still holds its unit, or not), "empty N" (slot
    // N's contact says no unit is in it; "free N" undoes it too), "next: N".
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("a unit that ends first waits its turn")
        << QStringList{"scan: armed 1", "end 1", "next: 2", "scan: armed 2", "scan: armed 3", "next: 4"};
    QTest::newRow("wrap around after the last slot")
        << QStringList{"scan: armed 1", "scan: armed 2", "scan: armed 3", "end 2", "end 1",  "scan: armed 4",
                       "next: 1",       "scan: armed 1", "scan: armed 2", "end 3", "next: 3"};
    QTest::newRow("a slot not ready is skipped")
        << QStringList{"hold 2", "scan: armed 1", "scan: armed 3", "end 1",   "scan: armed 4", "next: 1",
                       "free 2", "next: 1",       "scan: armed 1", "next: 2", "scan: armed 2"};
    QTest::newRow("no slot ready") << QStringList{
        "hold 1", "hold 2",  "hold 3",
        "hold 4", "next: 0", "scan: No slot is ready: take out the finished units or wait for a slot.",
        "free 3", "next: 3", "scan: armed 3"};
    QTest::newRow("no unit in any slot")
        << QStringList{"empty 1", "empty 2", "empty 3", "empty 4", "next: 0",
                       "scan: No unit is in a slot: put one in, then scan.", "free 2", "scan: armed 2",
                       "end 2", "hold 2", "next: 0",
                       // a slot whose unit is to be taken out is not empty: the operator is told so
                       "scan: No slot is ready: take out the finished units or wait for a slot."};
    QTest::newRow("every slot armed")
        << QStringList{"scan: armed 1", "scan: armed 2", "scan: armed 3",
                       "scan: armed 4", "next: 0",       "scan: Every slot is busy.",
                       "end 3",         "scan: armed 3"};
}

// One unit per slot at a fixture: the serials go round the slots, never twice to the one whose unit
// was quickest.
void TestScanArbiter::fillsSlotsInTurn() {
    QFETCH(QStringList, steps);
    QSet<int> held;
    QSet<int> empty;
    ScanArbiter a(4, QString(), {});
    a.setSlotReady([&](int slot) { return !held.contains(slot) && !empty.contains(slot); });
    a.setSlotEmpty([&empty](int slot) { return empty.contains(slot); });
    int serial = 0;
    for (const QString& step : steps) {
        const QString verb = step.section(QLatin1Char(' '), 0, 0);
        const QString rest = step.section(QLatin1Char(' '), 1);
        if (verb == QLatin1String("scan:"))
            QCOMPARE(scan(a, QByteArray("S-" + QByteArray::number(++serial)).constData()), rest);
        else if (verb == QLatin1String("next:"))
            QCOMPARE(a.nextSlot(), rest.toInt());
        else if (verb == QLatin1String("end"))
            a.unitEnded(rest.toInt());
        else if (verb == QLatin1String("hold"))
            held.insert(rest.toInt());
        else if (verb == QLatin1String("free")) {
            held.remove(rest.toInt());
            empty.remove(rest.toInt());
        } else if (verb == QLatin1String("empty"))
            empty.insert(rest.toInt());
        else
            QFAIL(qPrintable(step));
    }
}

namespace {

// Whether text holds a character that a terminal, a log or a spreadsheet would act on.
bool holdsRawControl(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format || c == 0xfffd)
            return true;
    }
    return false;
}

} // namespace

void TestScanArbiter::refusesSerialsThatAreNotCleanText_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qsizetype>("lineBytes"); // -1: the line is whole
    QTest::addColumn<QString>("reason");      // the words of the refusal; empty: accepted
    QTest::newRow("terminal escape sequence")
        << QByteArray("QT2C-1\x1b[2J\x1b]0;pwned\x07") << qsizetype(-1)
        << R"(QT2C-1\x1b[2J\x1b]0;pwned\x07 holds the control character \x1b)";
    QTest::newRow("hyperlink formula") << QByteArray(R"(=HYPERLINK("http://x","y"))") << qsizetype(-1)
                                       << R"(starts with "=", which a spreadsheet runs as a formula)";
    QTest::newRow("at formula") << QByteArray("@SUM(1+1)") << qsizetype(-1) << R"(starts with "@")";
    QTest::newRow("plus") << QByteArray("+1") << qsizetype(-1) << R"(starts with "+")";
    QTest::newRow("minus") << QByteArray("-1") << qsizetype(-1) << R"(starts with "-")";
    QTest::newRow("65 characters") << QByteArray(65, 'A') << qsizetype(-1)
                                   << "has 65 characters, more than the 64";
    QTest::newRow("empty") << QByteArray(" \t\r") << qsizetype(-1) << "the serial is empty";
    QTest::newRow("bytes that are not UTF-8")
        << QByteArray("QT2C-\xff\xfe-1") << qsizetype(-1) << R"(QT2C-\xff\xfe-1 is not UTF-8 text)";
    QTest::newRow("overlong encoding of a slash") << QByteArray("QT2C\xc0\xaf"
                                                                "1")
                                                  << qsizetype(-1) << R"(\xc0\xaf1 is not UTF-8 text)";
    QTest::newRow("cut in the middle of a character")
        << QByteArray("QT2C-\xe4\xb8") << qsizetype(-1) << "is not UTF-8 text";
    QTest::newRow("next line inside") << QByteArray("QT2C\xc2\x85-1") << qsizetype(-1)
                                      << R"(QT2C\u0085-1 holds the control character \u0085)";
    QTest::newRow("right-to-left override") << QByteArray("QT2C\xe2\x80\xae"
                                                          "1-")
                                            << qsizetype(-1) << R"(holds the control character \u202e)";
    QTest::newRow("megabyte line cut by its reader")
        << QByteArray(kScanLineMaxBytes, '7') << qsizetype(1 << 20)
        << "a line of 1048576 bytes is too long for a serial, which has at most 64 characters";
    QTest::newRow("64 characters of four bytes each")
        << QString::fromUcs4(std::u32string(64, U'\U0001F600').data(), 64).toUtf8() << qsizetype(-1)
        << QString();
    QTest::newRow("letters beyond ASCII, blanks around")
        << QByteArray(" QT2C-\xc3\x9c-1 \r\n") << qsizetype(-1) << QString();
    QTest::newRow("a dash inside") << QByteArray("QT2C-00000001") << qsizetype(-1) << QString();
}

// Each line through the rule itself and through the arbiter, as bytes and, when it is UTF-8, as the
// text a line edit delivers: refused with its reason, which never shows a control character raw.
void TestScanArbiter::refusesSerialsThatAreNotCleanText() {
    QFETCH(QByteArray, line);
    QFETCH(qsizetype, lineBytes);
    QFETCH(QString, reason);
    const Result<QString> serial = SerialFromBytes(line, lineBytes);
    ScanArbiter a(2, QString(), {});
    const ScanArbiter::Scan fromBytes = a.scanBytes(line, lineBytes);
    if (reason.isEmpty()) {
        QVERIFY2(serial, qPrintable(serial.error()));
        QCOMPARE(*serial, QString::fromUtf8(line).trimmed());
        QCOMPARE(fromBytes.outcome, ScanArbiter::Outcome::Armed);
        return;
    }
    QVERIFY(!serial);
    QVERIFY2(serial.error().contains(reason), qPrintable(serial.error()));
    QVERIFY2(!holdsRawControl(serial.error()), qPrintable(serial.error()));
    QCOMPARE(a.armedCount(), 0);
    if (fromBytes.outcome == ScanArbiter::Outcome::Ignored) {
        QVERIFY(line.trimmed().isEmpty()); // a stray Enter is not a scan
        return;
    }
    QCOMPARE(fromBytes.outcome, ScanArbiter::Outcome::Refused);
    QVERIFY2(fromBytes.reason.contains(reason.mid(1)), qPrintable(fromBytes.reason));
    QVERIFY(fromBytes.reason.endsWith(u'.'));
    QVERIFY(!fromBytes.reason.contains(u'\n'));
    QVERIFY2(!holdsRawControl(fromBytes.serial) && !holdsRawControl(fromBytes.reason),
             qPrintable(fromBytes.serial));
    if (lineBytes < 0 && QString::fromUtf8(line).toUtf8() == line)
        QCOMPARE(a.scan(QString::fromUtf8(line)).reason, fromBytes.reason);
}

QTEST_GUILESS_MAIN(TestScanArbiter)
#include "tst_scanarbiter.moc"
