#include "report/LabelPdf.h"

#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <memory>
#include <zint.h>

namespace qt2xx {

namespace {

constexpr QSizeF kLabelSize{100.0, 50.0}; // millimetres
constexpr int kResolution = 600;          // dots per inch of the page's coordinates
constexpr int kQuietModules = 2;          // the blank border a reader needs around the symbol

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

} // namespace

Done DrawDataMatrix(QPainter& painter, const QRectF& target, const QByteArray& data) {
    if (data.isEmpty())
        return Fail(QStringLiteral("a DataMatrix needs data"));
    const std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol)
        return Fail(QStringLiteral("the barcode library has no memory"));
    symbol->symbology = BARCODE_DATAMATRIX;
    symbol->input_mode = DATA_MODE;
    symbol->whitespace_width = kQuietModules;
    symbol->whitespace_height = kQuietModules;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()),
                        int(data.size())) >= ZINT_ERROR ||
        ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR || !symbol->vector)
        return Fail(
            QStringLiteral("the DataMatrix cannot be made: %1").arg(QString::fromUtf8(symbol->errtxt)));
    const zint_vector& vector = *symbol->vector;
    const qreal scale = std::min(target.width() / vector.width, target.height() / vector.height);
    const QPointF origin = target.center() - QPointF(vector.width, vector.height) * scale / 2;
    painter.save();
    painter.fillRect(QRectF(origin, QSizeF(vector.width, vector.height) * scale), Qt::white);
    for (const zint_vector_rect* rect = vector.rectangles; rect; rect = rect->next)
        painter.fillRect(
            QRectF(origin + QPointF(rect->x, rect->y) * scale, QSizeF(rect->width, rect->height) * scale),
            Qt::black);
    painter.restore();
    return {};
}

Done WriteLabelPdf(const QString& path, const LabelFields& fields) {
    QPdfWriter writer(path);
    writer.setPageSize(
        QPageSize(kLabelSize, QPageSize::Millimeter, QStringLiteral("Label"), QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(kResolution);
    writer.setTitle(fields.serial);
    writer.setCreator(QStringLiteral("qt2xx"));
    QPainter painter;
    if (!painter.begin(&writer))
        return Fail(QStringLiteral("cannot write %1").arg(path));
    const qreal mm = kResolution / 25.4;
    const Done code =
        DrawDataMatrix(painter, QRectF(3 * mm, 5 * mm, 38 * mm, 38 * mm), fields.serial.toUtf8());
    if (!code) {
        painter.end();
        return code;
    }
    // The rows of the standard ZPL label: the serial large, then the product, then the rest.
    const struct {
        QString text;
        qreal points;
        bool bold;
    } rows[] = {
        {fields.serial, 14, true},
        {fields.product, 10, false},
        {QStringLiteral("Order %1").arg(fields.orderId), 8, false},
        {QStringLiteral("Set %1").arg(fields.setSha256), 8, false},
        {fields.recordedAt, 7, false},
        {QStringLiteral("Station %1").arg(fields.station), 7, false},
        {QStringLiteral("Operator %1").arg(fields.operatorId), 7, false},
    };
    const QRectF column(45 * mm, 6 * mm, 53 * mm, 40 * mm);
    qreal y = column.top();
    for (const auto& row : rows) {
        QFont font(QStringLiteral("Sans Serif"));
        font.setPointSizeF(row.points);
        font.setBold(row.bold);
        painter.setFont(font);
        const QFontMetricsF metrics(font, &writer);
        const QString text = metrics.elidedText(row.text, Qt::ElideRight, column.width());
        painter.drawText(QPointF(column.left(), y + metrics.ascent()), text);
        y += metrics.lineSpacing() * 1.25;
    }
    if (!painter.end())
        return Fail(QStringLiteral("cannot write %1").arg(path));
    return {};
}

} // namespace qt2xx
