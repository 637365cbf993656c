// The live table as a terminal shows it: the station runs with its stdout on a pseudo-terminal, and
// the test replays what it wrote on a small model of the screen.
#include "support/BuildPaths.h"
#include "support/SimProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

const QString kSetFile = qt2xx::test::TestDataPath(u"frame/worked-example.asv");
constexpr int kPorts = 3;
constexpr int kTableLines = kPorts + 2; // header, one row per port, totals

// Cursor up, clear line, carriage return and line feed are all the table uses; colours are skipped.
QStringList replay(const QString& output) {
    QStringList screen{QString()};
    int row = 0;
    int col = 0;
    static const QRegularExpression escape(QStringLiteral("^\\x1b\\[([0-9]*)([A-Za-z])"));
    for (qsizetype i = 0; i < output.size(); ++i) {
        const QChar c = output[i];
        if (c == QLatin1Char('\x1b')) {
            const QRegularExpressionMatch m = escape.match(QStringView(output).mid(i));
            if (!m.hasMatch())
                continue;
            if (m.captured(2) == QLatin1String("A"))
                row = std::max(0, row - m.captured(1).toInt());
            else if (m.captured(2) == QLatin1String("K"))
                screen[row].clear();
            i += m.capturedLength() - 1;
        } else if (c == QLatin1Char('\r')) {
            col = 0;
        } else if (c == QLatin1Char('\n')) {
            ++row;
            if (row == screen.size())
                screen << QString();
        } else {
            screen[row] =
                screen[row].leftJustified(col, QLatin1Char(' ')).left(col) + c + screen[row].mid(col + 1);
            ++col;
        }
    }
    if (screen.last().isEmpty())
        screen.removeLast();
    return screen;
}

} // namespace

class TestStationView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tableIsRedrawnInPlace_data();
    void tableIsRedrawnInPlace();
};

void TestStationView::tableIsRedrawnInPlace_data() {
    QTest::addColumn<bool>("noColor");
    QTest::newRow("colour") << false;
    QTest::newRow("NO_COLOR") << true;
}

void TestStationView::tableIsRedrawnInPlace() {
    QFETCH(bool, noColor);
    std::vector<std::unique_ptr<qt2xx::test::SimProcess>> sims;
    QStringList args{QStringLiteral("--no-record"), QStringLiteral("--count"), QStringLiteral("12"),
                     kSetFile};
    for (int i = 0; i < kPorts; ++i) {
        sims.push_back(std::make_unique<qt2xx::test::SimProcess>());
        args << sims.back()->device();
    }

    int master = -1;
    int slave = -1;
    winsize size{};
    size.ws_col = 120;
    size.ws_row = 30;
    QVERIFY(::openpty(&master, &slave, nullptr, nullptr, &size) == 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("NO_COLOR"));
    env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
    if (noColor)
        env.insert(QStringLiteral("NO_COLOR"), QStringLiteral("1"));
    station.setProcessEnvironment(env);
    station.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
    QElapsedTimer elapsed;
    elapsed.start();
    station.start(qt2xx::test::ProgramPath(u"qt2xx-station"), args);
    QByteArray raw;
    char buffer[4096];
    while (!station.waitForFinished(20) && elapsed.elapsed() < 30000) {
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            raw.append(buffer, n);
    }
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        raw.append(buffer, n);
    const qint64 ms = elapsed.elapsed();
    ::close(slave);
    ::close(master);
    QCOMPARE(station.exitCode(), 0);

    // One table on screen whatever the number of redraws, no more than ten of them a second.
    const QString output = QString::fromUtf8(raw);
    const QStringList screen = replay(output);
    QCOMPARE(screen.size(), kTableLines + 1);
    QVERIFY(screen[0].startsWith(QStringLiteral("DEVICE")));
    int finished = 0;
    for (int i = 0; i < kPorts; ++i) {
        const QStringList cells = screen[1 + i].simplified().split(QLatin1Char(' '));
        QCOMPARE(cells.value(0), sims[size_t(i)]->device());
        QCOMPARE(cells.value(1), QStringLiteral("Stopped"));
        finished += cells.value(4).toInt();
    }
    QCOMPARE(finished, 12);
    QVERIFY(screen[kTableLines - 1].startsWith(QStringLiteral("finished 12, failed 0")));
    QCOMPARE(screen.last(), QStringLiteral("stopped: 12 finished, 0 failed on 3 ports; exit status 0"));
    const qsizetype redraws = output.count(QStringLiteral("\x1b[%1A").arg(kTableLines));
    QVERIFY2(redraws >= 2, qPrintable(output));
    QVERIFY2(redraws <= ms / 100 + 2, qPrintable(QStringLiteral("%1 redraws in %2 ms").arg(redraws).arg(ms)));
    QCOMPARE(output.contains(QStringLiteral("\x1b[34m")), !noColor);
    QCOMPARE(output.contains(QStringLiteral("\x1b[0m")), !noColor);
}

QTEST_GUILESS_MAIN(TestStationView)
#include "tst_stationview.moc"
