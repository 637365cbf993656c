// A pdf: label's DataMatrix, drawn by the barcode library, reads back as the unit's serial.

#include "report/LabelOutput.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace qt2xx;
using namespace std::chrono_literals;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
};

Run run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput()};
}

} // namespace

class LabelPdfTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void codeReadsAsTheSerial();
};

void LabelPdfTest::codeReadsAsTheSerial() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("labels"));
    const Result<LabelAddress> address = ParseLabelAddress(QStringLiteral("pdf:") + folder);
    QVERIFY2(address, qPrintable(address.error()));
    const LabelFields fields{QStringLiteral("SN-2024^~07"),
                             QStringLiteral("WO-7734"),
                             QStringLiteral("Drive 48 V"),
                             QStringLiteral("0123456789ab"),
                             QStringLiteral("2026-12-07T22:49:32.822Z"),
                             QStringLiteral("bench-3"),
                             QStringLiteral("Müller")};
    for (int copy = 0; copy < 2; ++copy) {
        const Done sent = SendLabel(*address, LabelTemplate::standard(), fields, 1s);
        QVERIFY2(sent, qPrintable(sent.error()));
    }
    // One file per label, named after the serial; the second print keeps the first.
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             (QStringList{QStringLiteral("SN-2024__07-2.pdf"), QStringLiteral("SN-2024__07.pdf")}));
    const QString pdf = QDir(folder).filePath(QStringLiteral("SN-2024__07.pdf"));

    const Run info = run(QStringLiteral("pdfinfo"), {pdf});
    QCOMPARE(info.exitCode, 0);
    QVERIFY2(info.out.contains("Pages:           1"), info.out.constData());

    const QString stem = dir.filePath(QStringLiteral("label"));
    QCOMPARE(
        run(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("300"),
                                         QStringLiteral("-singlefile"), pdf, stem})
            .exitCode,
        0);
    const QString png = stem + QStringLiteral(".png");
    const Run read = run(QStringLiteral("dmtxread"), {QStringLiteral("-N1"), png});
    QCOMPARE(read.exitCode, 0);
    QCOMPARE(QString::fromUtf8(read.out).trimmed(), fields.serial);

    // For the README: the label as a picture, when asked for.
    const QString keep = qEnvironmentVariable("QT2XX_KEEP_LABEL_PNG");
    if (!keep.isEmpty()) {
        QFile::remove(keep);
        QVERIFY(QFile::copy(png, keep));
    }
}

QTEST_MAIN(LabelPdfTest)
#include "tst_labelpdf.moc"
