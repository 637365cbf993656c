// Every program's --help lists every option it declares and each exit status it uses, in the words of
// the one declaration; the shared options read the same in every face, --record alone and
// --record=PATH included.

#include "support/BuildPaths.h"

#include "gang/GangOptions.h"
#include "platform/core/ExitStatus.h"
#include "record/RecordStore.h"
#include "station/ProductionOptions.h"

#include <QProcess>
#include <QTest>

using qt2xx::ProductionOption;

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void helpListsEveryOption_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<unsigned>("shared");
        QTest::addColumn<int>("recordDefault"); // a qt2xx::RecordDefault
        QTest::addColumn<QStringList>("own");
        QTest::addColumn<QList<int>>("statuses");
        const int off = int(qt2xx::RecordDefault::Off);
        const int on = int(qt2xx::RecordDefault::On);
        QTest::newRow("window") << QStringLiteral("qt2xx")
                                << unsigned(ProductionOption::Record | ProductionOption::Context) << off
                                << QStringList() << QList<int>{0, 2};
        QTest::newRow("station") << QStringLiteral("qt2xx-station")
                                 << unsigned(ProductionOption::Order | ProductionOption::Count |
                                             ProductionOption::Scan | ProductionOption::Rework |
                                             ProductionOption::Context | ProductionOption::Record |
                                             ProductionOption::Labels)
                                 << on << QStringList{"--json", "--list-ports"} << QList<int>{0, 1, 2, 3};
        QTest::newRow("gang") << QStringLiteral("qt2xx-gang")
                              << unsigned(ProductionOption::Order | ProductionOption::Rework |
                                          ProductionOption::Context | ProductionOption::Record |
                                          ProductionOption::Labels)
                              << on << QStringList() << QList<int>{0, 1, 2, 3};
        QTest::newRow("records") << QStringLiteral("qt2xx-records") << 0u << off
                                 << QStringList{"--db",        "--server",      "--format",
                                                "--by",        "--serials",     "--order",
                                                "--output",    "--units",       "--since",
                                                "--until",     "--result",      "--printer",
                                                "--template",  "--operator ID", "--station NAME",
                                                "label SERIAL"}
                                 << QList<int>{0, 1, 2, 3};
        QTest::newRow("frame") << QStringLiteral("qt2xx-frame") << 0u << off
                               << QStringList{"--explain", "--sha256"} << QList<int>{0, 1, 2};
        QTest::newRow("controller sim")
            << QStringLiteral("qt2xx-controller-sim") << 0u << off
            << QStringList{"--count",        "--answer-delay",       "--noise",
                           "--swap",         "--fail-every",         "--reject-frame",
                           "--reject-store", "--silent-after-frame", "--silent-after-accept",
                           "--one-chunk"}
            << QList<int>{0, 2};
    }

    void helpListsEveryOption() {
        QFETCH(QString, program);
        QFETCH(unsigned, shared);
        QFETCH(int, recordDefault);
        QFETCH(QStringList, own);
        QFETCH(QList<int>, statuses);
        QProcess process;
        process.start(qt2xx::test::ProgramPath(program), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QString help = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(help.startsWith(QStringLiteral("usage: ")), qPrintable(help));
        QVERIFY(help.contains(QStringLiteral("  -h, --help       show this text\n")));

        QStringList expected = own;
        for (const qt2xx::OptionSpec& decl :
             qt2xx::ProductionOptionSpecs(shared, qt2xx::RecordDefault(recordDefault))) {
            QString shown = QStringLiteral("\n  --") + decl.name;
            if (!decl.valueName.isEmpty())
                shown += (decl.attached ? QStringLiteral("=") : QStringLiteral(" ")) + decl.valueName;
            expected << shown;
            // The first words of the description, as declared.
            expected << decl.help.section(QLatin1Char(' '), 0, 3);
        }
        for (const QString& text : expected)
            QVERIFY2(help.contains(text), qPrintable(text + QStringLiteral(" missing from\n") + help));
        // --no-record only where records are kept by default.
        QCOMPARE(help.contains(QStringLiteral("--no-record")),
                 (shared & ProductionOption::Record) && recordDefault == int(qt2xx::RecordDefault::On));

        QVERIFY(help.contains(QStringLiteral("\nExit status:\n")));
        for (const qt2xx::ExitStatusMeaning& meaning : qt2xx::kExitStatuses) {
            const QString line =
                QStringLiteral("\n  %1 %2 ").arg(int(meaning.status)).arg(QLatin1String(meaning.meaning));
            QVERIFY2(help.contains(line) == statuses.contains(int(meaning.status)), qPrintable(line + help));
        }
    }

    void sharedOptionsReadTheSame_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");      // empty: accepted
        QTest::addColumn<QString>("recordPath"); // "-": no record kept
        QTest::addColumn<QString>("setFile");
        const QString fallback = qt2xx::DefaultRecordDatabase();
        QTest::newRow("--record alone")
            << QStringList{"--record", "set.asv", "P1"} << QString() << fallback << QStringLiteral("set.asv");
        QTest::newRow("--record=PATH") << QStringList{"set.asv", "--record=a.sqlite", "P1"} << QString()
                                       << QStringLiteral("a.sqlite") << QStringLiteral("set.asv");
        // A separate word after --record is no database: it is the set file.
        QTest::newRow("--record PATH") << QStringList{"--record", "a.sqlite", "P1"} << QString() << fallback
                                       << QStringLiteral("a.sqlite");
        QTest::newRow("--record= empty")
            << QStringList{"--record=", "set.asv", "P1"} << QStringLiteral("--record= needs a database path")
            << QString() << QString();
        QTest::newRow("--no-record") << QStringList{"--no-record", "set.asv", "P1"} << QString()
                                     << QStringLiteral("-") << QStringLiteral("set.asv");
        QTest::newRow("--record-server without =")
            << QStringList{"--record-server", "postgresql://h/db"}
            << QStringLiteral("unknown option --record-server") << QString() << QString();
        QTest::newRow("server without records")
            << QStringList{"--no-record", "--record-server=postgresql://h/db"}
            << QStringLiteral("--record-server and --no-record exclude each other") << QString() << QString();
        QTest::newRow("order without value")
            << QStringList{"--order"} << QStringLiteral("--order needs an order file") << QString()
            << QString();
        QTest::newRow("blank station") << QStringList{"--station", " "}
                                       << QStringLiteral("--station needs a name") << QString() << QString();
    }

    // Read by the gang window's parser, which takes every shared option but --scan and --count.
    void sharedOptionsReadTheSame() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(QString, recordPath);
        QFETCH(QString, setFile);
        arguments = QStringList{QStringLiteral("--label-printer=tcp://printer:9100"),
                                QStringLiteral("--label-template"), QStringLiteral("t.zpl"),
                                QStringLiteral("--operator"), QStringLiteral(" OP1 ")} +
                    arguments;
        qt2xx::gang::GangOptions options;
        QString why;
        QCOMPARE(qt2xx::gang::ParseGangOptions(arguments, options, why), error.isEmpty());
        QCOMPARE(why, error);
        if (!error.isEmpty())
            return;
        const qt2xx::SessionOptions& session = options.session;
        QCOMPARE(session.record, recordPath != QLatin1String("-"));
        if (session.record)
            QCOMPARE(session.recordPath, recordPath);
        QCOMPARE(session.setFile, setFile);
        QCOMPARE(session.ports, QStringList{QStringLiteral("P1")});
        QCOMPARE(session.labelPrinter, QStringLiteral("tcp://printer:9100"));
        QCOMPARE(session.labelTemplate, QStringLiteral("t.zpl"));
        QCOMPARE(session.operatorId, QStringLiteral("OP1"));
        QCOMPARE(options.operatorId, QStringLiteral("OP1"));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
