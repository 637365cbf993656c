// A faulty layout table stops the window at start-up with the name of the control at fault.

#include "ui/ControlBuilder.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace qt2xx;

namespace {

using K = ControlKind;

QWidget* noLog(QWidget*) {
    return nullptr;
}

// The message of the LayoutError that building `rows` raises; empty when it builds.
QString buildError(const std::vector<ControlLayout>& rows) {
    QWidget client;
    try {
        BuildControls(&client, rows, noLog);
    } catch (const LayoutError& error) {
        return QString::fromStdString(error.what());
    }
    return {};
}

} // namespace

class ControlBuilderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void faultyTableNamesTheRow_data();
    void faultyTableNamesTheRow();
    void missingControlIsNamed();
};

void ControlBuilderTest::faultyTableNamesTheRow_data() {
    QTest::addColumn<std::vector<ControlLayout>>("rows");
    QTest::addColumn<QString>("named");
    const ControlLayout panel{.name = "Picture1", .kind = K::Panel, .width = 900, .height = 900};
    const ControlLayout button{.name = "cmdShow", .kind = K::Button, .parent = "Picture1", .width = 300};
    const ControlLayout label{
        .name = "Label8", .kind = K::Label, .parent = "Picture1", .caption = "Comm Number"};

    QTest::newRow("sound") << std::vector{panel, button} << QString();
    QTest::newRow("misspelt parent") << std::vector{panel, ControlLayout{.name = "cmdShow",
                                                                         .kind = K::Button,
                                                                         .parent = "Pictrue1"}}
                                     << "\"cmdShow\" is placed in \"Pictrue1\"";
    QTest::newRow("parent after its contents") << std::vector{button, panel} << "\"cmdShow\" is placed in";
    QTest::newRow("name used twice") << std::vector{panel, button, button} << "\"cmdShow\" is named twice";
    ControlLayout lostBuddy = label;
    lostBuddy.buddy = "cboComPrt";
    QTest::newRow("buddy no row makes") << std::vector{panel, lostBuddy} << "\"Label8\" names \"cboComPrt\"";
}

void ControlBuilderTest::faultyTableNamesTheRow() {
    QFETCH(std::vector<ControlLayout>, rows);
    QFETCH(QString, named);
    const QString error = buildError(rows);
    if (named.isEmpty())
        QCOMPARE(error, QString());
    else
        QVERIFY2(error.contains(named), qPrintable(error));
}

void ControlBuilderTest::missingControlIsNamed() {
    QWidget client;
    const ControlMap built = BuildControls(
        &client, {ControlLayout{.name = "cmdShow", .kind = K::Button, .width = 300, .height = 300}}, noLog);
    QVERIFY(RequireControl<QPushButton>(built, QStringLiteral("cmdShow")));
    for (const QString& name : {QStringLiteral("cmdShwo"), QStringLiteral("cmdShow")}) {
        try {
            if (name == QStringLiteral("cmdShwo"))
                RequireControl<QPushButton>(built, name);
            else
                RequireControl<QLabel>(built, name);
            QFAIL("no error raised");
        } catch (const LayoutError& error) {
            QVERIFY2(
                QString::fromStdString(error.what()).contains(QLatin1Char('"') + name + QLatin1Char('"')),
                error.what());
        }
    }
}

QTEST_MAIN(ControlBuilderTest)
#include "tst_control_builder.moc"
