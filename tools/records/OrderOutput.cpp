#include "records/OrderOutput.h"

#include "platform/core/CsvField.h"
#include "platform/core/JsonLine.h"
#include "platform/core/UtcTime.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace qt2xx {

namespace {

using namespace record_schema;

// The serials finished more than once, shown only when there are some.
constexpr char kDuplicates[] = "duplicates";

void write(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? UtcTimeText(time) : QString();
}

// The figures in the order the text, the CSV header and the JSON object list them.
struct Figure {
    const char* key;
    QJsonValue value;
};

QList<Figure> figuresOf(const OrderFigures& f, const std::optional<PlantFigures>& plant) {
    const LotFigures& lot = f.lot;
    QList<Figure> rows{
        {"order", lot.orderId},
        {kProduct, lot.product},
        {kSetSha256, lot.parameterSha256},
        {kQuantity, lot.quantity},
        {"units_finished", lot.unitsFinished},
        {"attempts_failed", lot.attemptsFailed},
        {"remaining", f.remaining()},
        {"first_pass_yield", qRound(lot.firstPassYield * 1000) / 1000.0},
        {"first", timeText(lot.first)},
        {"last", timeText(lot.last)},
        {"stations", QJsonArray::fromStringList(lot.stations)},
        {"operators", QJsonArray::fromStringList(lot.operators)},
    };
    if (!lot.duplicates.isEmpty()) {
        QJsonArray duplicates;
        for (const DuplicateSerial& d : lot.duplicates)
            duplicates.append(
                QJsonObject{{QStringLiteral("serial"), d.serial},
                            {QStringLiteral("finished"), d.finished},
                            {QStringLiteral("stations"), QJsonArray::fromStringList(d.stations)},
                            {QStringLiteral("offline"), d.offline}});
        rows.append({kDuplicates, duplicates});
    }
    if (plant) {
        const std::optional<int> bench = plant->bench ? std::optional<int>(lot.unitsFinished) : std::nullopt;
        rows.append({"plant", PlantProgressText(plant->progress, bench)});
        rows.append({"plant_claimed", plant->progress.claimed});
    }
    return rows;
}

// "QT2C-00000031: 2 finished at G, H; made offline"
QString duplicateText(const QJsonObject& duplicate) {
    QStringList stations;
    for (const QJsonValue& station : duplicate.value(QStringLiteral("stations")).toArray())
        stations << station.toString();
    QString text = QStringLiteral("%1: %2 finished at %3")
                       .arg(duplicate.value(QStringLiteral("serial")).toString())
                       .arg(duplicate.value(QStringLiteral("finished")).toInt())
                       .arg(stations.join(QLatin1String(", ")));
    if (duplicate.value(QStringLiteral("offline")).toBool())
        text += QStringLiteral("; made offline");
    return text;
}

QString plain(const Figure& figure, const char* listSeparator) {
    if (qstrcmp(figure.key, kDuplicates) == 0) {
        QStringList items;
        for (const QJsonValue& item : figure.value.toArray())
            items << duplicateText(item.toObject());
        // One serial a line, under the first.
        return items.join(QStringLiteral("\n%1  ").arg(QString(), -16));
    }
    if (figure.value.isArray()) {
        QStringList items;
        for (const QJsonValue& item : figure.value.toArray())
            items << item.toString();
        return items.join(QLatin1String(listSeparator));
    }
    if (qstrcmp(figure.key, "first_pass_yield") == 0)
        return QString::number(figure.value.toDouble() * 100, 'f', 1) + u'%';
    return figure.value.isDouble() ? QString::number(figure.value.toInt()) : figure.value.toString();
}

void printFigures(const OrderFigures& figures, OrderFormat format, const std::optional<PlantFigures>& plant) {
    const QList<Figure> rows = figuresOf(figures, plant);
    if (format == OrderFormat::Json) {
        JsonLine line;
        for (const Figure& row : rows)
            line.add(row.key, row.value);
        return write(line.text());
    }
    if (format == OrderFormat::Csv) {
        QStringList header;
        QStringList values;
        for (const Figure& row : rows) {
            // Its columns would come and go with the data; the text and JSON list the duplicates.
            if (qstrcmp(row.key, kDuplicates) == 0)
                continue;
            header << QLatin1String(row.key);
            values << CsvField(plain(row, " "), row.value.isDouble() ? CsvKind::Number : CsvKind::Text);
        }
        return write((header.join(u',') + QStringLiteral("\r\n") + values.join(u',') + QStringLiteral("\r\n"))
                         .toUtf8());
    }
    QString text;
    for (const Figure& row : rows)
        text += QStringLiteral("%1  %2\n")
                    .arg(QString::fromLatin1(row.key).replace(u'_', u' '), -16)
                    .arg(plain(row, ", "));
    write(text.toUtf8());
}

void printUnit(const LotUnit& unit, OrderFormat format) {
    const QString label = unit.serial.isEmpty() ? QStringLiteral("#%1").arg(unit.unit) : unit.serial;
    if (format == OrderFormat::Json)
        return write(JsonLine()
                         .add("serial", unit.serial)
                         .add(kUnit, unit.unit)
                         .add("result", unit.result)
                         .add("attempts", unit.attempts)
                         .add(kRecordedAt, timeText(unit.time))
                         .add(kDevice, unit.device)
                         .add(kOperator, unit.operatorName)
                         .add(kStation, unit.station)
                         .text());
    if (format == OrderFormat::Csv)
        return write(QStringList{CsvField(unit.serial), QString::number(unit.unit), CsvField(unit.result),
                                 QString::number(unit.attempts), timeText(unit.time), CsvField(unit.device),
                                 CsvField(unit.operatorName), CsvField(unit.station)}
                         .join(u',')
                         .append(QStringLiteral("\r\n"))
                         .toUtf8());
    write(QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
              .arg(label, -16)
              .arg(unit.result, -19)
              .arg(unit.attempts, 8)
              .arg(timeText(unit.time), -24)
              .arg(unit.device, -14)
              .arg(unit.operatorName, -10)
              .arg(unit.station)
              .toUtf8());
}

} // namespace

Done PrintOrder(const RecordSource& source, const QString& order, OrderFormat format, bool serials,
                const std::optional<PlantFigures>& plant) {
    ReportScope scope;
    scope.orderId = order;
    Result<OrderFigures> read = ReadOrderFigures(source, scope);
    if (!read)
        return Fail(read.error());
    OrderFigures& figures = *read;
    if (figures.unitsTried == 0)
        return Fail(QStringLiteral("no records of the order %1").arg(order));
    figures.lot.orderId = order;
    // CSV holds one table: the figures, or with serials the units.
    if (!(serials && format == OrderFormat::Csv))
        printFigures(figures, format, plant);
    if (!serials)
        return {};
    if (format == OrderFormat::Csv)
        write(QStringList{QStringLiteral("serial"), QLatin1String(kUnit), QLatin1String(kResult),
                          QStringLiteral("attempts"), QLatin1String(kRecordedAt), QLatin1String(kDevice),
                          QLatin1String(kOperator), QLatin1String(kStation)}
                  .join(u',')
                  .append(QStringLiteral("\r\n"))
                  .toUtf8());
    if (format == OrderFormat::Text)
        write(QStringLiteral("\n%1  %2  %3  %4  %5  %6  %7\n")
                  .arg(QStringLiteral("serial"), -16)
                  .arg(QLatin1String(kResult), -19)
                  .arg(QStringLiteral("attempts"), 8)
                  .arg(QStringLiteral("time"), -24)
                  .arg(QLatin1String(kDevice), -14)
                  .arg(QLatin1String(kOperator), -10)
                  .arg(QLatin1String(kStation))
                  .toUtf8());
    return ForEachLotUnit(source, scope, [&](const LotUnit& unit) { printUnit(unit, format); });
}

} // namespace qt2xx
