// The writer when the disk lets it down: the caller goes on, the failure is told once per streak,
// and every record handed over is written once the disk is usable again.

#include "record/RecordStore.h"
#include "record/RecordWriter.h"
#include "support/RecordSample.h"
#include "support/ResultCheck.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <unistd.h>

using namespace qt2xx;
using namespace qt2xx::test;

namespace {

constexpr int kWait = 10000;
// Failed writes are tried again this often here, so that a few retries take little time.
constexpr std::chrono::milliseconds kRetry{100};

ProductionRecord makeRecord(int unit, qsizetype fileNameLength = 10) {
    ProductionRecord r = MakeRecord(QStringLiteral("run"), unit);
    r.parameterFile = QString(fileNameLength, QLatin1Char('f'));
    return r;
}

size_t storedCount(const QString& path) {
    const std::unique_ptr<RecordStore> store = Checked(RecordStore::open(path));
    return store ? Checked(store->records({})).size() : 0;
}

bool run(const QStringList& command) {
    return QProcess::execute(command.first(), command.mid(1)) == 0;
}

// A small tmpfs of the test's own, unmounted at the end whatever happens.
class SmallDisk {
public:
    explicit SmallDisk(const QString& folder) : m_folder(folder) {
        QDir().mkpath(folder);
        m_mounted = geteuid() == 0 &&
                    run({QStringLiteral("mount"), QStringLiteral("-t"), QStringLiteral("tmpfs"),
                         QStringLiteral("-o"), QStringLiteral("size=2m"), QStringLiteral("tmpfs"), folder});
    }
    ~SmallDisk() {
        if (m_mounted)
            run({QStringLiteral("umount"), QStringLiteral("-l"), m_folder});
    }
    bool mounted() const { return m_mounted; }
    bool setReadOnly(bool readOnly) {
        return run({QStringLiteral("mount"), QStringLiteral("-o"),
                    readOnly ? QStringLiteral("remount,ro") : QStringLiteral("remount,rw"), m_folder});
    }
    // Fills the disk to the last byte.
    void fill() {
        QFile filler(m_folder + QStringLiteral("/filler"));
        if (filler.open(QIODevice::WriteOnly))
            while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
            }
    }
    void freeUp() { QFile::remove(m_folder + QStringLiteral("/filler")); }

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace

class RecordWriterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void garbageFileIsLeftAloneAndRecordsWait();
    void failingDiskLosesNothing_data();
    void failingDiskLosesNothing();

private:
    QTemporaryDir m_dir;
};

void RecordWriterTest::garbageFileIsLeftAloneAndRecordsWait() {
    const QString path = m_dir.filePath(QStringLiteral("garbage.sqlite"));
    const QByteArray garbage(10000, 'g');
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(garbage) == garbage.size());
    file.close();

    RecordWriter writer(path, kRetry);
    QSignalSpy failed(&writer, &RecordWriter::writeFailed);
    QSignalSpy recovered(&writer, &RecordWriter::writeRecovered);
    QSignalSpy committed(&writer, &RecordWriter::committed);
    for (int unit = 1; unit <= 3; ++unit)
        writer.submit(makeRecord(unit));
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kWait);
    QCOMPARE(failed[0][0].toString(), path);
    QVERIFY2(failed[0][1].toString().contains(QStringLiteral("not a record database")),
             qPrintable(failed[0][1].toString()));
    QVERIFY(!writer.flush(kRetry * 3));
    QCOMPARE(failed.size(), 1); // the retries fail too, and are not told again
    QCOMPARE(writer.pending(), 3);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), garbage);
    file.close();

    QVERIFY(QFile::remove(path));
    QTRY_COMPARE_WITH_TIMEOUT(committed.size(), 3, kWait);
    QCOMPARE(recovered.size(), 1);
    QCOMPARE(storedCount(path), size_t(3));
}

void RecordWriterTest::failingDiskLosesNothing_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("read-only folder") << true;
    QTest::newRow("full disk") << false;
}

void RecordWriterTest::failingDiskLosesNothing() {
    QFETCH(bool, readOnly);
    SmallDisk disk(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
    if (!disk.mounted())
        QSKIP("mounting a small tmpfs needs root");
    const QString path =
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral("/r.sqlite"));
    auto writer = std::make_unique<RecordWriter>(path, kRetry);
    for (int unit = 1; unit <= 5; ++unit)
        writer->submit(makeRecord(unit));
    QVERIFY(writer->flush(std::chrono::milliseconds(kWait)));

    // A folder is made read-only while nothing in it is open: the window starts on it.
    if (readOnly) {
        writer.reset();
        QVERIFY(disk.setReadOnly(true));
        writer = std::make_unique<RecordWriter>(path, kRetry);
    } else {
        disk.fill();
    }
    QSignalSpy failed(writer.get(), &RecordWriter::writeFailed);
    QSignalSpy recovered(writer.get(), &RecordWriter::writeRecovered);
    for (int unit = 6; unit <= 10; ++unit)
        writer->submit(makeRecord(unit, 16000));
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kWait);
    QVERIFY(!writer->flush(kRetry * 2));
    QCOMPARE(failed.size(), 1);
    QVERIFY(writer->pending() > 0);

    if (readOnly)
        QVERIFY(disk.setReadOnly(false));
    else
        disk.freeUp();
    QTRY_COMPARE_WITH_TIMEOUT(recovered.size(), 1, kWait);
    QVERIFY(writer->flush(std::chrono::milliseconds(kWait)));
    QCOMPARE(storedCount(path), size_t(10));
}

QTEST_GUILESS_MAIN(RecordWriterTest)
#include "tst_recordwriter.moc"
