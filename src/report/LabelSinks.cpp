#include "report/LabelSinks.h"

#include <QGuiApplication>

namespace qt2xx {

namespace {

class PrinterSink : public LabelSink {
public:
    PrinterSink(const QString& databasePath, LabelAddress address, LabelTemplate zpl,
                LabelPrinter::Timing timing)
        : m_printer(databasePath, std::move(address), std::move(zpl), timing) {
        connect(&m_printer, &LabelPrinter::labelPrinted, this, &LabelSink::labelPrinted);
        connect(&m_printer, &LabelPrinter::labelWaiting, this, &LabelSink::labelWaiting);
    }

    QString printer() const override { return m_printer.printer().text; }
    void nudge() override { m_printer.nudge(); }

private:
    LabelPrinter m_printer;
};

} // namespace

LabelSinkFactory LabelPrinterSinks(LabelPrinter::Timing timing) {
    return [timing](const LabelRequest& request) -> Result<std::unique_ptr<LabelSink>> {
        Result<LabelAddress> address = ParseLabelAddress(request.printer);
        if (!address)
            return Fail(QStringLiteral("label printer %1: %2").arg(request.printer, address.error()));
        if (address->kind == LabelAddress::Kind::Pdf &&
            !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return Fail(
                QStringLiteral("label printer %1: this program draws no PDF labels").arg(request.printer));
        LabelTemplate zpl = LabelTemplate::standard();
        if (!request.templatePath.isEmpty()) {
            Result<LabelTemplate> read = LabelTemplate::read(request.templatePath);
            if (!read)
                return Fail(read.error());
            zpl = std::move(*read);
        }
        return std::unique_ptr<LabelSink>(
            std::make_unique<PrinterSink>(request.databasePath, std::move(*address), std::move(zpl), timing));
    };
}

} // namespace qt2xx
