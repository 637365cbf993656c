#pragma once

#include "platform/core/Result.h"
#include "report/LabelTemplate.h"

#include <QByteArray>
#include <QRectF>
#include <QString>

class QPainter;

namespace qt2xx {

// Draws data as a DataMatrix (ECC 200) made by the barcode library, square and centred in target,
// with the quiet zone the symbol needs inside it.
Done DrawDataMatrix(QPainter& painter, const QRectF& target, const QByteArray& data);

// The label as a one-page PDF, 100 x 50 mm: the serial's DataMatrix and the fields the standard ZPL
// label shows. Needs a QGuiApplication (fonts); may run on any thread.
Done WriteLabelPdf(const QString& path, const LabelFields& fields);

} // namespace qt2xx
