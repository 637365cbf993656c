#include "report/LabelTemplate.h"

#include "platform/core/UtcTime.h"

#include <QFile>

namespace qt2xx {

namespace {

using Getter = const QString& (*)(const LabelFields&);

struct FieldRow {
    const char* name;
    Getter value;
};

const FieldRow kFields[] = {
    {"serial", [](const LabelFields& f) -> const QString& { return f.serial; }},
    {"order", [](const LabelFields& f) -> const QString& { return f.orderId; }},
    {"product", [](const LabelFields& f) -> const QString& { return f.product; }},
    {"set_sha256_12", [](const LabelFields& f) -> const QString& { return f.setSha256; }},
    {"recorded_at", [](const LabelFields& f) -> const QString& { return f.recordedAt; }},
    {"station", [](const LabelFields& f) -> const QString& { return f.station; }},
    {"operator", [](const LabelFields& f) -> const QString& { return f.operatorId; }},
};

constexpr qsizetype kSetDigits = 12;

// 4 x 2 inches at 203 dots per inch: the code on the left, the fields beside it.
constexpr char kStandardLabel[] = "^XA\n"
                                  "^CI28\n"
                                  "^PW812\n"
                                  "^LL406\n"
                                  "^FO30,40^BXN,8,200^FH_^FD{serial}^FS\n"
                                  "^FO280,40^A0N,46,46^FH_^FD{serial}^FS\n"
                                  "^FO280,100^A0N,32,32^FH_^FD{product}^FS\n"
                                  "^FO280,150^A0N,28,28^FH_^FDOrder {order}^FS\n"
                                  "^FO280,190^A0N,28,28^FH_^FDSet {set_sha256_12}^FS\n"
                                  "^FO280,230^A0N,24,24^FH_^FD{recorded_at}^FS\n"
                                  "^FO280,266^A0N,24,24^FH_^FDStation {station}^FS\n"
                                  "^FO280,302^A0N,24,24^FH_^FDOperator {operator}^FS\n"
                                  "^XZ\n";

bool isPrefix(char c) {
    return c == '^' || c == '~';
}

int fieldIndex(const QByteArray& name) {
    for (size_t i = 0; i < std::size(kFields); ++i)
        if (name == kFields[i].name)
            return int(i);
    return -1;
}

} // namespace

LabelFields LabelFields::FromRecord(const ProductionRecord& record, const QString& product) {
    return {record.unitSerial,
            record.orderId,
            product,
            record.parameterSha256.left(kSetDigits),
            UtcTimeText(record.recordedAt),
            record.station,
            record.operatorId};
}

QStringList LabelFieldNames() {
    QStringList names;
    for (const FieldRow& row : kFields)
        names << QLatin1String(row.name);
    return names;
}

QByteArray ZplFieldHex(const QString& value, char indicator) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char c : value.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || isPrefix(c) || c == '_' || c == indicator)
            out.append(indicator).append(kHex[byte >> 4]).append(kHex[byte & 0xF]);
        else
            out.append(c);
    }
    return out;
}

Result<LabelTemplate> LabelTemplate::parse(const QByteArray& zpl) {
    LabelTemplate result;
    Segment segment;
    bool inData = false; // within ^FD or ^FV data
    bool hex = false;    // the field has ^FH
    auto refuse = [&](qsizetype at, const QString& why) {
        return Fail(QStringLiteral("line %1: %2").arg(zpl.left(at).count('\n') + 1).arg(why));
    };
    for (qsizetype i = 0; i < zpl.size();) {
        const char c = zpl[i];
        if (isPrefix(c) && i + 2 < zpl.size()) {
            const QByteArray command = zpl.mid(i + 1, 2).toUpper();
            if (command == "CC" || command == "CD" || command == "CT")
                return refuse(
                    i, QStringLiteral("%1 changes the command characters").arg(QLatin1String(zpl.mid(i, 3))));
            inData = command == "FD" || command == "FV";
            if (command == "FH") {
                hex = true;
                const char next = i + 3 < zpl.size() ? zpl[i + 3] : '^';
                segment.indicator = isPrefix(next) || next <= ' ' || next > '~' ? '_' : next;
            } else if (command == "FS") {
                hex = false;
                segment.indicator = '_';
            }
            segment.literal += zpl.mid(i, 3);
            i += 3;
            continue;
        }
        const qsizetype close = c == '{' ? zpl.indexOf('}', i) : -1;
        const QByteArray name = close > i ? zpl.mid(i + 1, close - i - 1) : QByteArray();
        const bool placeholder = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char n) {
            return (n >= 'a' && n <= 'z') || (n >= '0' && n <= '9') || n == '_';
        });
        if (!placeholder) {
            segment.literal += c;
            ++i;
            continue;
        }
        const int field = fieldIndex(name);
        if (field < 0)
            return refuse(i, QStringLiteral("unknown field {%1}; the fields are {%2}")
                                 .arg(QLatin1String(name), LabelFieldNames().join(QLatin1String("}, {"))));
        if (!inData)
            return refuse(i, QStringLiteral("{%1} is outside a field's data (^FD)").arg(QLatin1String(name)));
        if (!hex)
            return refuse(i, QStringLiteral("{%1} is in a field without ^FH").arg(QLatin1String(name)));
        segment.field = field;
        const char indicator = segment.indicator;
        result.m_segments.push_back(std::move(segment));
        segment = Segment{{}, -1, indicator};
        i = close + 1;
    }
    result.m_segments.push_back(std::move(segment));
    return result;
}

Result<LabelTemplate> LabelTemplate::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read the label template %1: %2").arg(path, file.errorString()));
    Result<LabelTemplate> parsed = parse(file.readAll());
    if (!parsed)
        return Fail(QStringLiteral("the label template %1, %2").arg(path, parsed.error()));
    return parsed;
}

const LabelTemplate& LabelTemplate::standard() {
    static const LabelTemplate label = parse(QByteArray(kStandardLabel)).value();
    return label;
}

QByteArray LabelTemplate::render(const LabelFields& fields) const {
    QByteArray out;
    for (const Segment& segment : m_segments) {
        out += segment.literal;
        if (segment.field >= 0)
            out += ZplFieldHex(kFields[segment.field].value(fields), segment.indicator);
    }
    return out;
}

} // namespace qt2xx
