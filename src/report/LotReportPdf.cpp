#include "report/LotReportPdf.h"

#include "params/ParameterTable.h"
#include "platform/core/UtcTime.h"

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
        for (const GroupFigures& group : report.groups)
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
    if (!lot.duplicates.isEmpty()) {
        QStringList serials;
        for (const DuplicateSerial& d : lot.duplicates)
            serials << QStringLiteral("%1 (%2 finished at %3%4)")
                           .arg(d.serial)
                           .arg(d.finished)
                           .arg(d.stations.join(QStringLiteral(", ")),
                                d.offline ? QStringLiteral("; made offline") : QString());
        rows << std::pair{QStringLiteral("Duplicates"), serials.join(QStringLiteral("; "))};
    }
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

// Every hour (or day) from the first to the last, so that one without units shows as a gap.
QList<TrendCount> Continuous(const QList<TrendCount>& sparse, qint64 step) {
    if (sparse.isEmpty())
        return {};
    QList<TrendCount> out;
    QDateTime at = sparse.front().start.toUTC();
    qsizetype next = 0;
    while (next < sparse.size()) {
        TrendCount count{at, 0, 0};
        for (; next < sparse.size() && sparse[next].start.toUTC() <= at; ++next) {
            count.finished += sparse[next].finished;
            count.failed += sparse[next].failed;
        }
        out.push_back(count);
        at = at.addSecs(step);
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

// How a trend is shown: per hour or per day.
struct TrendScale {
    qint64 step;
    QString title;
    QString tick; // the format of a bar's label
    QString axis;
};

TrendScale HourScale(bool withFailures) {
    return {3600,
            withFailures ? QStringLiteral("Units finished and failed per hour")
                         : QStringLiteral("Units finished per hour"),
            QStringLiteral("HH"), QStringLiteral("Hour starting (UTC), from %1")};
}

TrendScale DayScale() {
    return {86400, QStringLiteral("Units finished and failed per day"), QStringLiteral("dd"),
            QStringLiteral("Day (UTC), from %1")};
}

// Bars of units finished, with the attempts failed stacked above them in the failure colour.
void TrendChart(Canvas& c, const QRectF& box, const QList<TrendCount>& sparse, const TrendScale& scale) {
    ChartFrame(c, box, scale.title);
    const QRectF plot(box.x() + 26, box.y() + 30, box.width() - 30, box.height() - 62);
    const QList<TrendCount> slots = Continuous(sparse, scale.step);
    int largest = 0;
    for (const TrendCount& slot : slots)
        largest = std::max(largest, slot.finished + slot.failed);
    if (largest == 0)
        return EmptyChart(c, plot, QStringLiteral("No units were finished."));
    const int top = AxisMaximum(largest);
    c.setFont(7);
    for (int tick : {0, top / 2, top}) {
        const qreal y = plot.bottom() - plot.height() * tick / top;
        c.line({plot.left(), y}, {plot.right(), y}, kRule, 0.4);
        c.text({box.x(), y - 5, 23, 10}, Qt::AlignRight | Qt::AlignVCenter, QString::number(tick), kMuted);
    }
    const qreal slot = plot.width() / slots.size();
    const int labelEvery = int(std::ceil((c.width(QStringLiteral("00")) + 4) / slot));
    const bool countsFit = c.width(QString::number(largest)) + 1 <= slot;
    for (int i = 0; i < slots.size(); ++i) {
        const qreal x = plot.left() + i * slot;
        const qreal finished = plot.height() * slots[i].finished / top;
        const qreal failed = plot.height() * slots[i].failed / top;
        c.fill({x + slot * 0.15, plot.bottom() - finished, slot * 0.7, finished}, kFinishedBar);
        c.fill({x + slot * 0.15, plot.bottom() - finished - failed, slot * 0.7, failed}, kFailureBar);
        if (countsFit && slots[i].finished > 0)
            c.text({x - 4, plot.bottom() - finished - failed - 10, slot + 8, 10},
                   Qt::AlignHCenter | Qt::AlignBottom, QString::number(slots[i].finished));
        if (i % labelEvery == 0)
            c.text({x - 6, plot.bottom() + 2, slot + 12, 10}, Qt::AlignHCenter | Qt::AlignTop,
                   slots[i].start.toString(scale.tick), kMuted);
    }
    c.line(plot.bottomLeft(), plot.bottomRight(), kMuted, 0.6);
    c.text({plot.left(), plot.bottom() + 14, plot.width(), 10}, Qt::AlignHCenter | Qt::AlignTop,
           scale.axis.arg(DayHour(slots.front().start)), kMuted);
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

Block ChartsBlock(const QList<TrendCount>& trend, const TrendScale& scale, const QList<KindCount>& failures) {
    constexpr qreal kHeight = 210;
    constexpr qreal kGap = 24;
    constexpr qreal kWidth = (kBodyWidth - kGap) / 2;
    return {kHeight, [=](Canvas& c, qreal top) {
                TrendChart(c, {kMargin, top, kWidth, kHeight}, trend, scale);
                FailureChart(c, {kMargin + kWidth + kGap, top, kWidth, kHeight}, failures);
            }};
}

Block OrderChartsBlock(const LotFigures& lot) {
    QList<TrendCount> trend;
    for (const HourCount& hour : lot.finishedPerHour)
        trend.push_back({hour.hour, hour.count, 0});
    return ChartsBlock(trend, HourScale(false), lot.failuresByKind);
}

// A table of text: its columns' titles, shares of the width and alignments, and its rows.
struct GridColumn {
    QString title;
    qreal weight;
    Qt::Alignment align;
};

constexpr qreal kTableHeadingHeight = 24;

// The header row and the rows below it, from `y`; where the last row ends.
qreal DrawGrid(Canvas& c, qreal y, const QList<GridColumn>& columns, const QList<QStringList>& rows) {
    qreal weights = 0;
    for (const GridColumn& column : columns)
        weights += column.weight;
    const auto cells = [&](qreal rowTop, const QStringList& texts) {
        qreal x = kMargin;
        for (int i = 0; i < columns.size(); ++i) {
            const qreal width = kBodyWidth * columns[i].weight / weights;
            c.text({x + 3, rowTop, width - 6, kRowHeight}, columns[i].align | Qt::AlignVCenter,
                   texts.value(i));
            x += width;
        }
    };
    c.fill({kMargin, y, kBodyWidth, kRowHeight}, kHeaderFill);
    c.setFont(kTableFontSize, Face::Bold);
    QStringList titles;
    for (const GridColumn& column : columns)
        titles << column.title;
    cells(y, titles);
    y += kRowHeight;
    c.setFont(kTableFontSize);
    for (qsizetype i = 0; i < rows.size(); ++i, y += kRowHeight) {
        if (i % 2 == 1)
            c.fill({kMargin, y, kBodyWidth, kRowHeight}, kStripe);
        cells(y, rows[i]);
    }
    c.line({kMargin, y}, {kMargin + kBodyWidth, y}, kRule);
    return y;
}

int RowsOnTablePage(bool first) {
    const qreal top = kBodyTop + (first ? kTableHeadingHeight : 0) + kRowHeight;
    return int((kBodyBottom - top) / kRowHeight);
}

// A table under its heading, cut into parts of at most a page, each with the header row again.
void AddTable(std::vector<Block>& blocks, const QString& heading, const QList<GridColumn>& columns,
              const QList<QStringList>& rows) {
    const int perPart = RowsOnTablePage(true);
    for (qsizetype from = 0; from == 0 || from < rows.size(); from += perPart) {
        const QList<QStringList> part = rows.mid(from, perPart);
        const QString title = from == 0 ? heading : heading + QStringLiteral(" (continued)");
        blocks.push_back({kTableHeadingHeight + (part.size() + 1) * kRowHeight, [=](Canvas& c, qreal top) {
                              c.setFont(11.5, Face::Bold);
                              c.text({kMargin, top, kBodyWidth, 18}, Qt::AlignLeft | Qt::AlignVCenter, title);
                              DrawGrid(c, top + kTableHeadingHeight, columns, part);
                          }});
    }
}

Block NoteBlock(Canvas& canvas, const QString& note) {
    canvas.setFont(9);
    const qreal height = canvas.wrappedHeight(note, kBodyWidth) + 2;
    return {height, [=](Canvas& c, qreal top) {
                c.setFont(9);
                c.wrapped({kMargin, top, kBodyWidth, height}, note);
            }};
}

QString Count(int n) {
    return QString::number(n);
}

QList<QStringList> GroupRows(const QList<GroupFigures>& groups, bool stations) {
    QList<QStringList> rows;
    for (const GroupFigures& g : groups) {
        if (stations)
            rows.push_back({g.station.isEmpty() ? QStringLiteral("none") : g.station, Count(g.attempts),
                            Count(g.unitsFinished), Count(g.attemptsFailed),
                            Percent(g.attempts > 0 ? double(g.unitsFinished) / g.attempts : 0)});
        else
            rows.push_back({g.orderId.isEmpty() ? QStringLiteral("none") : g.orderId,
                            g.setFile.isEmpty() ? QStringLiteral("none") : g.setFile,
                            g.parameterSha256.left(12), Count(g.unitsTried), Count(g.unitsFinished),
                            Count(g.attemptsFailed), Percent(g.firstPassYield)});
    }
    return rows;
}

QList<GridColumn> GroupColumns(bool stations) {
    if (stations)
        return {{QStringLiteral("Station"), 2.2, Qt::AlignLeft},
                {QStringLiteral("Attempts"), 0.9, Qt::AlignRight},
                {QStringLiteral("Finished"), 0.9, Qt::AlignRight},
                {QStringLiteral("Attempts failed"), 1.2, Qt::AlignRight},
                {QStringLiteral("Yield"), 1.2, Qt::AlignRight}};
    return {{QStringLiteral("Work order"), 1.3, Qt::AlignLeft},
            {QStringLiteral("Set file"), 1.6, Qt::AlignLeft},
            {QStringLiteral("SHA-256"), 1.1, Qt::AlignLeft},
            {QStringLiteral("Units tried"), 0.9, Qt::AlignRight},
            {QStringLiteral("Finished"), 0.9, Qt::AlignRight},
            {QStringLiteral("Attempts failed"), 1.2, Qt::AlignRight},
            {QStringLiteral("First-pass yield"), 1.2, Qt::AlignRight}};
}

void AddTrendTable(std::vector<Block>& blocks, const LotReport& report) {
    QList<QStringList> rows;
    const QString format =
        report.dailyTrend ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
    for (const TrendCount& t : Continuous(report.trend, report.dailyTrend ? 86400 : 3600))
        rows.push_back({t.start.toUTC().toString(format), Count(t.finished), Count(t.failed)});
    AddTable(blocks, report.dailyTrend ? QStringLiteral("Per day") : QStringLiteral("Per hour"),
             {{report.dailyTrend ? QStringLiteral("Day (UTC)") : QStringLiteral("Hour starting (UTC)"), 2,
               Qt::AlignLeft},
              {QStringLiteral("Units finished"), 1, Qt::AlignRight},
              {QStringLiteral("Attempts failed"), 1, Qt::AlignRight}},
             rows);
}

QList<GridColumn> GridOf(const QList<Column>& columns) {
    QList<GridColumn> grid;
    for (const Column& column : columns)
        grid << GridColumn{column.title, column.weight, column.align};
    return grid;
}

QList<QStringList> UnitTexts(const QList<Column>& columns, const QList<LotUnit>& units) {
    QList<QStringList> rows;
    for (const LotUnit& unit : units) {
        QStringList row;
        for (const Column& column : columns)
            row << column.value(unit);
        rows << row;
    }
    return rows;
}

// The period as the records tool's options, so that the command in the report lists the same units.
QString PeriodArguments(const LotReport& report) {
    QString text = QStringLiteral("--since ") + UtcTimeText(report.periodStart);
    if (report.periodClosed)
        text += QStringLiteral(" --until ") + UtcTimeText(report.periodEnd);
    return text;
}

// The units never finished: the first ones listed, and how to list all of them.
void AddUnfinished(std::vector<Block>& blocks, Canvas& canvas, const LotReport& report) {
    const QList<Column> columns = TableColumns(true);
    const QList<GridColumn> grid = GridOf(columns);
    const QList<QStringList> rows = UnitTexts(columns, report.unfinished);
    const QString heading = QStringLiteral("Units never finished (%1)").arg(report.unfinishedCount);
    if (report.unfinishedCount == 0) {
        blocks.push_back(HeadingBlock(heading));
        blocks.push_back(NoteBlock(canvas, QStringLiteral("Every unit tried in the period was finished.")));
        return;
    }
    AddTable(blocks, heading, grid, rows);
    const qint64 more = report.unfinishedCount - report.unfinished.size();
    if (more > 0)
        blocks.push_back(NoteBlock(
            canvas,
            QStringLiteral("and %1 more: qt2xx-records report %2 --units --output units.pdf lists every "
                           "unit of the period with its final result and attempts")
                .arg(more)
                .arg(PeriodArguments(report))));
}

std::vector<Block> SummaryBlocks(Canvas& canvas, const LotReport& report) {
    std::vector<Block> blocks;
    if (report.kind == LotReport::Kind::Order) {
        blocks.push_back(TitleBlock(QStringLiteral("Lot report"), FooterLabel(report)));
        blocks.push_back(FiguresBlock(canvas, FigureRows(report, report.total, false)));
        blocks.push_back(ParameterBlock(report.total));
        blocks.push_back(OrderChartsBlock(report.total));
        return blocks;
    }
    blocks.push_back(TitleBlock(QStringLiteral("Period report"), FooterLabel(report)));
    blocks.push_back(FiguresBlock(canvas, FigureRows(report, report.total, true)));
    blocks.push_back(ChartsBlock(report.trend, report.dailyTrend ? DayScale() : HourScale(true),
                                 report.total.failuresByKind));
    AddTable(blocks, QStringLiteral("Work orders and sets"), GroupColumns(false),
             GroupRows(report.groups, false));
    AddTable(blocks, QStringLiteral("Stations"), GroupColumns(true), GroupRows(report.stations, true));
    AddTrendTable(blocks, report);
    AddUnfinished(blocks, canvas, report);
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

int TablePages(bool shown, qsizetype units) {
    if (!shown)
        return 0;
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
    DrawGrid(c, y, GridOf(columns), UnitTexts(columns, rows));
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
    const int pages = int(summaryPages.size()) + TablePages(report.unitTable, unitCount);
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
    const Done read = !report.unitTable ? Done() : units([&](const LotUnit& unit) {
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
