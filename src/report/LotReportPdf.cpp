#include "report/LotReportPdf.h"

#include "params/ParameterTable.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace qt2xx {
namespace {

// Layout is worked out in points (1/72 inch) on an A4 page and drawn at a resolution fine enough
// that text placement is exact.
constexpr qreal kDpi = 600;
constexpr qreal kPageWidth = 595.276;
constexpr qreal kPageHeight = 841.89;
constexpr qreal kMargin = 42;
constexpr qreal kFooterHeight = 26;
constexpr qreal kBodyTop = kMargin;
constexpr qreal kBodyBottom = kPageHeight - kMargin - kFooterHeight;
constexpr qreal kBodyWidth = kPageWidth - 2 * kMargin;
constexpr qreal kBlockGap = 16;
constexpr qreal kTableFontSize = 8;
constexpr qreal kRowHeight = 12.5;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kMuted(0x60, 0x60, 0x60);
const QColor kRule(0xC8, 0xC8, 0xC8);
const QColor kStripe(0xF2, 0xF2, 0xF2);
const QColor kHeaderFill(0xE1, 0xE7, 0xEF);
const QColor kFinishedBar(0x3B, 0x6E, 0xA5);
const QColor kFailureBar(0xB5, 0x45, 0x3A);

enum class Face { Regular, Bold, Mono };

// Draws and measures in points on the PDF's device.
class Canvas {
public:
    explicit Canvas(QPaintDevice& device) : m_device(device) { setFont(9); }

    void begin(QPainter& painter) { m_painter = &painter; }
    void setFont(qreal points, Face face = Face::Regular) {
        QFont font(face == Face::Mono ? QStringLiteral("Monospace") : QStringLiteral("Sans Serif"));
        font.setStyleHint(face == Face::Mono ? QFont::Monospace : QFont::SansSerif);
        font.setPointSizeF(points);
        font.setBold(face == Face::Bold);
        // Latin text drawn without shaping has no ligatures, so the text copied or searched in a
        // viewer is the text drawn ("fi", not one glyph for both).
        font.setStyleStrategy(QFont::PreferNoShaping);
        m_font = font;
        if (m_painter)
            m_painter->setFont(font);
    }
    qreal width(const QString& text) const { return metrics().horizontalAdvance(text) / kScale; }
    qreal wrappedHeight(const QString& text, qreal width) const {
        const QRectF box(0, 0, width * kScale, 1e6);
        return metrics().boundingRect(box, Qt::TextWordWrap, text).height() / kScale;
    }
    // One line in the box, cut short with an ellipsis when it does not fit.
    void text(const QRectF& box, int align, const QString& text, const QColor& colour = kInk) {
        const QString shown = metrics().elidedText(text, Qt::ElideRight, box.width() * kScale);
        draw(box, align | Qt::TextSingleLine, shown, colour);
    }
    void wrapped(const QRectF& box, const QString& text, const QColor& colour = kInk) {
        draw(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text, colour);
    }
    void fill(const QRectF& box, const QColor& colour) { m_painter->fillRect(device(box), colour); }
    void line(QPointF from, QPointF to, const QColor& colour, qreal width = 0.5) {
        m_painter->setPen(QPen(colour, width * kScale));
        m_painter->drawLine(from * kScale, to * kScale);
    }

private:
    static constexpr qreal kScale = kDpi / 72;
    static QRectF device(const QRectF& box) {
        return {box.x() * kScale, box.y() * kScale, box.width() * kScale, box.height() * kScale};
    }
    QFontMetricsF metrics() const { return QFontMetricsF(m_font, &m_device); }
    void draw(const QRectF& box, int flags, const QString& text, const QColor& colour) {
        m_painter->setPen(colour);
        m_painter->drawText(device(box), flags, text);
    }

    QPaintDevice& m_device;
    QPainter* m_painter = nullptr;
    QFont m_font;
};

QString DayHour(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" UTC")
                          : QStringLiteral("none");
}

QString Percent(double fraction) {
    return QString::number(fraction * 100, 'f', 1) + QLatin1Char('%');
}

QString ListText(const QStringList& items) {
    return items.isEmpty() ? QStringLiteral("none") : items.join(QStringLiteral(", "));
}

QString PeriodText(const LotReport& report) {
    return QStringLiteral("%1 to %2").arg(DayHour(report.periodStart), DayHour(report.periodEnd));
}

QString FooterLabel(const LotReport& report) {
    if (report.kind == LotReport::Kind::Order)
        return QStringLiteral("Work order %1").arg(report.total.orderId);
    return QStringLiteral("Period %1").arg(PeriodText(report));
}

using Rows = QList<std::pair<QString, QString>>;

Rows FigureRows(const LotReport& report, const LotFigures& lot, bool periodTotal) {
    Rows rows;
    if (periodTotal) {
        QStringList orders;
        for (const LotFigures& group : report.groups)
            if (!orders.contains(group.orderId))
                orders << group.orderId;
        rows << std::pair{QStringLiteral("Period"), PeriodText(report)}
             << std::pair{QStringLiteral("Work orders"), ListText(orders)};
    } else {
        rows << std::pair{QStringLiteral("Work order"), lot.orderId}
             << std::pair{QStringLiteral("Product"),
                          lot.product.isEmpty() ? QStringLiteral("none") : lot.product}
             << std::pair{QStringLiteral("Set file"),
                          lot.setFile.isEmpty() ? QStringLiteral("none") : lot.setFile}
             << std::pair{QStringLiteral("Quantity"),
                          lot.quantity > 0 ? QString::number(lot.quantity) : QStringLiteral("not given")};
    }
    rows << std::pair{QStringLiteral("Units finished"), QString::number(lot.unitsFinished)}
         << std::pair{QStringLiteral("Attempts failed"), QString::number(lot.attemptsFailed)}
         << std::pair{QStringLiteral("First-pass yield"), Percent(lot.firstPassYield)}
         << std::pair{QStringLiteral("Time span"),
                      QStringLiteral("%1 to %2").arg(DayHour(lot.first), DayHour(lot.last))}
         << std::pair{QStringLiteral("Stations"), ListText(lot.stations)}
         << std::pair{QStringLiteral("Operators"), ListText(lot.operators)};
    return rows;
}

// A part of the report that is kept on one page: its height, and how to draw it at a height.
struct Block {
    qreal height = 0;
    std::function<void(Canvas&, qreal top)> draw;
};

constexpr qreal kLabelWidth = 100;
constexpr qreal kFigureLine = 13;

Block TitleBlock(const QString& title, const QString& subtitle) {
    return {
        44, [=](Canvas& c, qreal top) {
            c.setFont(17, Face::Bold);
            c.text({kMargin, top, kBodyWidth, 24}, Qt::AlignLeft | Qt::AlignVCenter, title);
            c.setFont(10);
            c.text({kMargin, top + 24, kBodyWidth, 16}, Qt::AlignLeft | Qt::AlignVCenter, subtitle, kMuted);
            c.line({kMargin, top + 42}, {kMargin + kBodyWidth, top + 42}, kRule, 0.8);
        }};
}

Block HeadingBlock(const QString& heading) {
    return {20, [=](Canvas& c, qreal top) {
                c.setFont(11.5, Face::Bold);
                c.text({kMargin, top, kBodyWidth, 18}, Qt::AlignLeft | Qt::AlignVCenter, heading);
            }};
}

Block FiguresBlock(Canvas& canvas, const Rows& rows) {
    canvas.setFont(9);
    const qreal valueWidth = kBodyWidth - kLabelWidth;
    std::vector<qreal> heights;
    qreal total = 0;
    for (const auto& row : rows) {
        heights.push_back(std::max(kFigureLine, canvas.wrappedHeight(row.second, valueWidth) + 2));
        total += heights.back();
    }
    return {total, [=](Canvas& c, qreal top) {
                qreal y = top;
                for (int i = 0; i < rows.size(); ++i) {
                    c.setFont(9, Face::Bold);
                    c.text({kMargin, y, kLabelWidth - 6, kFigureLine}, Qt::AlignLeft | Qt::AlignTop,
                           rows[i].first, kMuted);
                    c.setFont(9);
                    c.wrapped({kMargin + kLabelWidth, y, valueWidth, heights[i]}, rows[i].second);
                    y += heights[i];
                }
            }};
}

Block ParameterBlock(const LotFigures& lot) {
    constexpr int kPerColumn = (kParameterCount + 1) / 2;
    constexpr qreal kLine = 12.5;
    constexpr qreal kColumnGap = 16;
    constexpr qreal kColumn = (kBodyWidth - kColumnGap) / 2;
    constexpr qreal kCaption = 112;
    return {20 + 16 + kPerColumn * kLine, [=](Canvas& c, qreal top) {
                c.setFont(11.5, Face::Bold);
                c.text({kMargin, top, kBodyWidth, 18}, Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("Parameter set"));
                c.setFont(8, Face::Bold);
                c.text({kMargin, top + 20, 48, 12}, Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("SHA-256"), kMuted);
                c.setFont(7.5, Face::Mono);
                c.text({kMargin + 48, top + 20, kBodyWidth - 48, 12}, Qt::AlignLeft | Qt::AlignVCenter,
                       lot.parameterSha256);
                const qreal rowsTop = top + 36;
                for (int i = 0; i < kParameterCount; ++i) {
                    const qreal x = kMargin + (i / kPerColumn) * (kColumn + kColumnGap);
                    const qreal y = rowsTop + (i % kPerColumn) * kLine;
                    if (i % 2 == 0)
                        c.fill({x, y, kColumn, kLine}, kStripe);
                    c.setFont(8.5);
                    c.text({x + 3, y, kCaption - 6, kLine}, Qt::AlignLeft | Qt::AlignVCenter,
                           ParameterTable()[i].displayName(), kMuted);
                    c.text({x + kCaption, y, kColumn - kCaption - 3, kLine}, Qt::AlignLeft | Qt::AlignVCenter,
                           i < lot.parameters.size() ? lot.parameters[i] : QString());
                }
            }};
}

// An axis maximum that reads well: 1, 2 or 5 times a power of ten, at least the largest count.
int AxisMaximum(int largest) {
    int step = 1;
    while (true) {
        for (int factor : {1, 2, 5})
            if (factor * step >= largest)
                return factor * step;
        step *= 10;
    }
}

// Every hour from the first to the last, so that an hour without units shows as a gap.
QList<HourCount> ContinuousHours(const QList<HourCount>& hours) {
    if (hours.isEmpty())
        return {};
    QList<HourCount> out;
    QDateTime hour = hours.front().hour.toUTC();
    qsizetype next = 0;
    while (next < hours.size()) {
        int count = 0;
        while (next < hours.size() && hours[next].hour.toUTC() <= hour)
            count += hours[next++].count;
        out.push_back({hour, count});
        hour = hour.addSecs(3600);
    }
    return out;
}

void ChartFrame(Canvas& c, const QRectF& box, const QString& title) {
    c.setFont(10, Face::Bold);
    c.text({box.x(), box.y(), box.width(), 16}, Qt::AlignLeft | Qt::AlignVCenter, title);
}

void EmptyChart(Canvas& c, const QRectF& plot, const QString& text) {
    c.line(plot.bottomLeft(), plot.bottomRight(), kRule);
    c.setFont(9);
    c.text(plot, Qt::AlignCenter, text, kMuted);
}

void HourChart(Canvas& c, const QRectF& box, const QList<HourCount>& sparse) {
    ChartFrame(c, box, QStringLiteral("Units finished per hour"));
    const QRectF plot(box.x() + 26, box.y() + 30, box.width() - 30, box.height() - 62);
    const QList<HourCount> hours = ContinuousHours(sparse);
    int largest = 0;
    for (const HourCount& hour : hours)
        largest = std::max(largest, hour.count);
    if (largest == 0)
        return EmptyChart(c, plot, QStringLiteral("No units were finished."));
    const int top = AxisMaximum(largest);
    c.setFont(7);
    for (int tick : {0, top / 2, top}) {
        const qreal y = plot.bottom() - plot.height() * tick / top;
        c.line({plot.left(), y}, {plot.right(), y}, kRule, 0.4);
        c.text({box.x(), y - 5, 23, 10}, Qt::AlignRight | Qt::AlignVCenter, QString::number(tick), kMuted);
    }
    const qreal slot = plot.width() / hours.size();
    const int labelEvery = int(std::ceil((c.width(QStringLiteral("00")) + 4) / slot));
    const bool countsFit = c.width(QString::number(largest)) + 1 <= slot;
    for (int i = 0; i < hours.size(); ++i) {
        const qreal x = plot.left() + i * slot;
        const qreal height = plot.height() * hours[i].count / top;
        c.fill({x + slot * 0.15, plot.bottom() - height, slot * 0.7, height}, kFinishedBar);
        if (countsFit && hours[i].count > 0)
            c.text({x - 4, plot.bottom() - height - 10, slot + 8, 10}, Qt::AlignHCenter | Qt::AlignBottom,
                   QString::number(hours[i].count));
        if (i % labelEvery == 0)
            c.text({x - 6, plot.bottom() + 2, slot + 12, 10}, Qt::AlignHCenter | Qt::AlignTop,
                   hours[i].hour.toString(QStringLiteral("HH")), kMuted);
    }
    c.line(plot.bottomLeft(), plot.bottomRight(), kMuted, 0.6);
    c.text({plot.left(), plot.bottom() + 14, plot.width(), 10}, Qt::AlignHCenter | Qt::AlignTop,
           QStringLiteral("Hour starting (UTC), from %1").arg(DayHour(hours.front().hour)), kMuted);
}

void FailureChart(Canvas& c, const QRectF& box, const QList<KindCount>& kinds) {
    ChartFrame(c, box, QStringLiteral("Failures by kind"));
    const QRectF plot(box.x(), box.y() + 30, box.width(), box.height() - 62);
    int largest = 0;
    for (const KindCount& kind : kinds)
        largest = std::max(largest, kind.count);
    if (largest == 0)
        return EmptyChart(c, plot, QStringLiteral("No attempt failed."));
    c.setFont(8);
    qreal labelWidth = 0;
    for (const KindCount& kind : kinds)
        labelWidth = std::max(labelWidth, c.width(kind.result));
    labelWidth = std::min(labelWidth + 10, plot.width() / 2);
    const qreal countWidth = c.width(QString::number(largest)) + 6;
    const qreal barSpace = plot.width() - labelWidth - countWidth;
    const qreal line = std::min<qreal>(20, plot.height() / kinds.size());
    for (int i = 0; i < kinds.size(); ++i) {
        const qreal y = plot.top() + i * line;
        const qreal length = barSpace * kinds[i].count / largest;
        c.text({plot.left(), y, labelWidth - 4, line}, Qt::AlignRight | Qt::AlignVCenter, kinds[i].result);
        c.fill({plot.left() + labelWidth, y + line * 0.18, length, line * 0.64}, kFailureBar);
        c.text({plot.left() + labelWidth + length + 3, y, countWidth, line}, Qt::AlignLeft | Qt::AlignVCenter,
               QString::number(kinds[i].count));
    }
    c.line({plot.left() + labelWidth, plot.top()},
           {plot.left() + labelWidth, plot.top() + kinds.size() * line}, kMuted, 0.6);
}

Block ChartsBlock(const LotFigures& lot) {
    constexpr qreal kHeight = 210;
    constexpr qreal kGap = 24;
    constexpr qreal kWidth = (kBodyWidth - kGap) / 2;
    return {kHeight, [=](Canvas& c, qreal top) {
                HourChart(c, {kMargin, top, kWidth, kHeight}, lot.finishedPerHour);
                FailureChart(c, {kMargin + kWidth + kGap, top, kWidth, kHeight}, lot.failuresByKind);
            }};
}

std::vector<Block> SummaryBlocks(Canvas& canvas, const LotReport& report) {
    std::vector<Block> blocks;
    if (report.kind == LotReport::Kind::Order) {
        blocks.push_back(TitleBlock(QStringLiteral("Lot report"), FooterLabel(report)));
        blocks.push_back(FiguresBlock(canvas, FigureRows(report, report.total, false)));
        blocks.push_back(ParameterBlock(report.total));
        blocks.push_back(ChartsBlock(report.total));
        return blocks;
    }
    blocks.push_back(TitleBlock(QStringLiteral("Shift report"), FooterLabel(report)));
    blocks.push_back(FiguresBlock(canvas, FigureRows(report, report.total, true)));
    blocks.push_back(ChartsBlock(report.total));
    for (const LotFigures& group : report.groups) {
        const Block heading = HeadingBlock(
            QStringLiteral("Work order %1, set %2")
                .arg(group.orderId, group.setFile.isEmpty() ? QStringLiteral("none") : group.setFile));
        const Block figures = FiguresBlock(canvas, FigureRows(report, group, false));
        const Block parameters = ParameterBlock(group);
        // A group's heading, figures and set stay on one page.
        blocks.push_back({heading.height + figures.height + 8 + parameters.height, [=](Canvas& c, qreal top) {
                              heading.draw(c, top);
                              figures.draw(c, top + heading.height);
                              parameters.draw(c, top + heading.height + figures.height + 8);
                          }});
    }
    return blocks;
}

struct Placed {
    const Block* block;
    qreal top;
};

std::vector<std::vector<Placed>> PlaceBlocks(const std::vector<Block>& blocks) {
    std::vector<std::vector<Placed>> pages(1);
    qreal y = kBodyTop;
    for (const Block& block : blocks) {
        if (y + block.height > kBodyBottom && !pages.back().empty()) {
            pages.emplace_back();
            y = kBodyTop;
        }
        pages.back().push_back({&block, y});
        y += block.height + kBlockGap;
    }
    return pages;
}

struct Column {
    QString title;
    qreal weight;
    Qt::Alignment align;
    std::function<QString(const LotUnit&)> value;
};

QList<Column> TableColumns(bool withOrder) {
    QList<Column> columns;
    if (withOrder)
        columns << Column{QStringLiteral("Order"), 1.1, Qt::AlignLeft,
                          [](const LotUnit& u) { return u.orderId; }};
    columns << Column{QStringLiteral("Serial"), 1.3, Qt::AlignLeft,
                      [](const LotUnit& u) {
                          return u.serial.isEmpty() ? QStringLiteral("unit %1").arg(u.unit) : u.serial;
                      }}
            << Column{QStringLiteral("Result"), 1.8, Qt::AlignLeft, [](const LotUnit& u) { return u.result; }}
            << Column{QStringLiteral("Attempts"), 1.0, Qt::AlignRight,
                      [](const LotUnit& u) { return QString::number(u.attempts); }}
            << Column{QStringLiteral("Time (UTC)"), 1.7, Qt::AlignLeft,
                      [](const LotUnit& u) {
                          return u.time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                      }}
            << Column{QStringLiteral("Station"), 1.0, Qt::AlignLeft,
                      [](const LotUnit& u) { return u.station; }}
            << Column{QStringLiteral("Device"), 1.2, Qt::AlignLeft, [](const LotUnit& u) { return u.device; }}
            << Column{QStringLiteral("Operator"), 1.2, Qt::AlignLeft,
                      [](const LotUnit& u) { return u.operatorName; }};
    return columns;
}

constexpr qreal kTableHeadingHeight = 24;

int RowsOnTablePage(bool first) {
    const qreal top = kBodyTop + (first ? kTableHeadingHeight : 0) + kRowHeight;
    return int((kBodyBottom - top) / kRowHeight);
}

int TablePages(qsizetype units) {
    int pages = 1;
    for (qsizetype left = units - RowsOnTablePage(true); left > 0; left -= RowsOnTablePage(false))
        ++pages;
    return pages;
}

void DrawTablePage(Canvas& c, const QList<LotUnit>& rows, qsizetype total, const QList<Column>& columns,
                   bool first) {
    qreal y = kBodyTop;
    if (first) {
        c.setFont(11.5, Face::Bold);
        c.text({kMargin, y, kBodyWidth, 18}, Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Units (%1)").arg(total));
        y += kTableHeadingHeight;
    }
    qreal weights = 0;
    for (const Column& column : columns)
        weights += column.weight;
    const auto cells = [&](qreal rowTop, const std::function<QString(const Column&)>& text) {
        qreal x = kMargin;
        for (const Column& column : columns) {
            const qreal width = kBodyWidth * column.weight / weights;
            c.text({x + 3, rowTop, width - 6, kRowHeight}, column.align | Qt::AlignVCenter, text(column));
            x += width;
        }
    };
    c.fill({kMargin, y, kBodyWidth, kRowHeight}, kHeaderFill);
    c.setFont(kTableFontSize, Face::Bold);
    cells(y, [](const Column& column) { return column.title; });
    y += kRowHeight;
    c.setFont(kTableFontSize);
    for (qsizetype i = 0; i < rows.size(); ++i, y += kRowHeight) {
        if (i % 2 == 1)
            c.fill({kMargin, y, kBodyWidth, kRowHeight}, kStripe);
        cells(y, [&](const Column& column) { return column.value(rows[i]); });
    }
    c.line({kMargin, y}, {kMargin + kBodyWidth, y}, kRule);
}

void DrawFooter(Canvas& c, const QString& label, int page, int pages) {
    const qreal y = kPageHeight - kMargin - 14;
    c.line({kMargin, y - 4}, {kMargin + kBodyWidth, y - 4}, kRule);
    c.setFont(8);
    c.text({kMargin, y, kBodyWidth * 0.75, 12}, Qt::AlignLeft | Qt::AlignVCenter, label, kMuted);
    c.text({kMargin + kBodyWidth * 0.75, y, kBodyWidth * 0.25, 12}, Qt::AlignRight | Qt::AlignVCenter,
           QStringLiteral("%1 / %2").arg(page).arg(pages), kMuted);
}

Failure failAt(const QString& path, const QString& reason) {
    return Fail(QStringLiteral("%1: %2").arg(path, reason));
}

} // namespace

Done WriteLotReportPdf(const LotReport& report, const QString& path) {
    const LotUnitReader units = [&](const std::function<void(const LotUnit&)>& unit) {
        for (const LotUnit& u : report.units)
            unit(u);
        return Done();
    };
    return WriteLotReportPdf(report, report.units.size(), units, path);
}

Done WriteLotReportPdf(const LotReport& report, qsizetype unitCount, const LotUnitReader& units,
                       const QString& path) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return failAt(path, QStringLiteral("the report cannot be drawn without the graphical platform"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failAt(path, QStringLiteral("cannot be created: %1").arg(file.errorString()));

    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(int(kDpi));
    writer.setTitle(FooterLabel(report));
    writer.setCreator(QStringLiteral("qt2xx"));

    Canvas canvas(writer);
    const std::vector<Block> blocks = SummaryBlocks(canvas, report);
    const auto summaryPages = PlaceBlocks(blocks);
    const int pages = int(summaryPages.size()) + TablePages(unitCount);
    const QString label = FooterLabel(report);
    const QList<Column> columns = TableColumns(report.kind == LotReport::Kind::Period);

    QPainter painter;
    if (!painter.begin(&writer))
        return failAt(path, QStringLiteral("the report cannot be drawn"));
    canvas.begin(painter);
    int page = 0;
    const auto startPage = [&] {
        if (page++ > 0)
            writer.newPage();
        DrawFooter(canvas, label, page, pages);
    };
    for (const auto& placed : summaryPages) {
        startPage();
        for (const Placed& part : placed)
            part.block->draw(canvas, part.top);
    }
    // One page of rows at a time: the units are drawn as they are read.
    QList<LotUnit> rows;
    bool first = true;
    const auto drawRows = [&] {
        startPage();
        DrawTablePage(canvas, rows, unitCount, columns, first);
        first = false;
        rows.clear();
    };
    qsizetype taken = 0;
    const Done read = units([&](const LotUnit& unit) {
        // The pages are counted: a unit past the count (recorded meanwhile) is left out.
        if (taken++ >= unitCount)
            return;
        rows << unit;
        if (rows.size() == RowsOnTablePage(first))
            drawRows();
    });
    while (page < pages)
        drawRows();
    painter.end();
    if (!read) {
        file.cancelWriting();
        return failAt(path, QStringLiteral("the units could not be read: %1").arg(read.error()));
    }
    if (!file.commit())
        return failAt(path, QStringLiteral("cannot be written: %1").arg(file.errorString()));
    return {};
}

} // namespace qt2xx
