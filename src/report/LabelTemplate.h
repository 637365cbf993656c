#pragma once

#include "platform/core/Result.h"
#include "record/ProductionRecord.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace qt2xx {

// What a label says about a unit, each field named in templates as {name}.
struct LabelFields {
    QString serial;     // {serial}
    QString orderId;    // {order}
    QString product;    // {product}
    QString setSha256;  // {set_sha256_12}: the first 12 hex digits of the set written
    QString recordedAt; // {recorded_at}: the record's time as the record writes it
    QString station;    // {station}
    QString operatorId; // {operator}

    static LabelFields FromRecord(const ProductionRecord& record, const QString& product);
};

// The names a template may use, in the order above.
QStringList LabelFieldNames();

// A value as ZPL field data under ^FH with that indicator: every byte of its UTF-8 that could end the
// field or start a command (^, ~, the indicator, _, control and non-ASCII bytes) as a hex escape.
QByteArray ZplFieldHex(const QString& value, char indicator = '_');

// A ZPL label with {field} placeholders. Every placeholder sits in a field's data (^FD or ^FV) under
// ^FH, so that its value is hex-escaped and cannot add commands; a template that does otherwise, names
// an unknown field or changes the command characters is refused when it is read.
class LabelTemplate {
public:
    static Result<LabelTemplate> parse(const QByteArray& zpl);
    static Result<LabelTemplate> read(const QString& path);
    // The label without a template: the serial as a DataMatrix the printer draws, and every field as text.
    static const LabelTemplate& standard();

    QByteArray render(const LabelFields& fields) const;

private:
    struct Segment {
        QByteArray literal; // the text before the field
        int field = -1;     // index in LabelFieldNames(); -1 for the closing literal
        char indicator = '_';
    };
    std::vector<Segment> m_segments;
};

} // namespace qt2xx
