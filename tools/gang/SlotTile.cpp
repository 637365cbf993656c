#include "gang/SlotTile.h"

#include "link/TransmitWindow.h"
#include "ui/StatusLogBox.h"

#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace qt2xx::gang {

namespace {

// The print of a tile of about 420 x 210 pixels, sixteen of them on a full HD screen: the state word
// and the serial are read from two metres. A larger tile scales them up to kMaxScale.
constexpr int kStatePixels = 40;
constexpr int kSerialPixels = 30;
constexpr int kElapsedPixels = 24;
constexpr int kTitlePixels = 18;
constexpr int kDetailPixels = 18;
constexpr QSize kBaseTile(420, 210);
constexpr double kMaxScale = 3.0;
// The smallest a word that does not fit its width is set, before it is cut.
constexpr int kMinPixels = 12;

QFont pixelFont(int pixels, bool bold = false) {
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// A new font relays the label out: the tiles of a run change ten times a second, their print seldom.
void setFontOf(QLabel* label, const QFont& font) {
    if (label->font() != font)
        label->setFont(font);
}

// The label's text at up to pixels high, smaller when it would not fit the width in one line.
void fitLabel(QLabel* label, int pixels, int width, bool bold) {
    QFont font = pixelFont(pixels, bold);
    while (font.pixelSize() > kMinPixels && QFontMetrics(font).horizontalAdvance(label->text()) > width)
        font.setPixelSize(font.pixelSize() - 1);
    setFontOf(label, font);
}

// The state's colours, for the whole tile: the log's green, red and blue for the outcomes and the work
// under way; a unit to take out in a colour no other state has.
struct Colours {
    QColor band;
    QColor text;
};

Colours coloursOf(SlotState state) {
    switch (state) {
    case SlotState::Finished:
        return {*qt2xx::logColorOf(qt2xx::kLogGreen), Qt::black};
    case SlotState::Failed:
    case SlotState::NotOpen:
    case SlotState::Lost:
        return {*qt2xx::logColorOf(qt2xx::kLogRed), Qt::white};
    case SlotState::Programming:
        return {*qt2xx::logColorOf(qt2xx::kLogBlue), Qt::white};
    case SlotState::WaitingForScan:
        return {QColor(0xff, 0xd2, 0x4d), Qt::black};
    case SlotState::RemoveUnit:
        return {QColor(0xff, 0x6d, 0x00), Qt::black};
    case SlotState::Checking:
    case SlotState::Seeking:
    case SlotState::Stopped:
        break;
    }
    return {QColor(0xd8, 0xd8, 0xd8), Qt::black};
}

QString seconds(int tenths) {
    return QString::number(tenths / 10.0, 'f', 1);
}

} // namespace

SlotTile::SlotTile(QWidget* parent)
    : QFrame(parent), m_title(new QLabel(this)), m_state(new QLabel(this)), m_elapsed(new QLabel(this)),
      m_progress(new QProgressBar(this)), m_failure(new QLabel(this)), m_serial(new QLabel(this)),
      m_counts(new QLabel(this)) {
    setFrameShape(QFrame::Box);
    setLineWidth(2);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
    // The labels follow the tile's size: they never ask the grid for more room than a cell has.
    for (QLabel* label : {m_title, m_state, m_elapsed, m_failure, m_serial, m_counts}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setAlignment(Qt::AlignCenter);
    }
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_counts->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(true);
    m_failure->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(2);
    layout->addWidget(m_title);
    layout->addStretch(1);
    layout->addWidget(m_state);
    layout->addWidget(m_serial);
    layout->addWidget(m_elapsed);
    layout->addWidget(m_progress);
    layout->addWidget(m_failure);
    layout->addStretch(1);
    layout->addWidget(m_counts);
    showView(m_view);
}

QString SlotTile::stateWord(SlotState state) {
    switch (state) {
    case SlotState::Stopped:
        return tr("Stopped");
    case SlotState::WaitingForScan:
        return tr("Waiting for a scan");
    case SlotState::Seeking:
        return tr("Seeking");
    case SlotState::Programming:
        return tr("Programming");
    case SlotState::Finished:
        return tr("Finished");
    case SlotState::Failed:
        return tr("Failed");
    case SlotState::NotOpen:
        return tr("Port not open");
    case SlotState::Lost:
        return tr("Port lost");
    case SlotState::RemoveUnit:
        return tr("Remove the unit");
    case SlotState::Checking:
        return tr("Checking");
    }
    return {};
}

QString SlotTile::stateText() const {
    if (m_view.state == SlotState::Programming)
        return tr("Programming %1 %").arg(m_view.percent);
    return stateWord(m_view.state);
}

QString SlotTile::elapsedText() const {
    if (m_view.elapsedTenths < 0)
        return {};
    if (m_view.state == SlotState::Programming)
        return tr("%1 s so far").arg(seconds(m_view.elapsedTenths));
    return tr("Took %1 s").arg(seconds(m_view.elapsedTenths));
}

void SlotTile::showView(const SlotView& view) {
    if (m_shown && view == m_view)
        return;
    m_view = view;
    m_shown = true;
    m_title->setText(view.nextScan ? tr("Slot %1  %2  (next scan)").arg(view.slot).arg(view.device)
                                   : tr("Slot %1  %2").arg(view.slot).arg(view.device));
    m_state->setText(stateText());
    m_progress->setVisible(view.state == SlotState::Programming);
    m_progress->setValue(view.percent);
    m_elapsed->setText(elapsedText());
    m_elapsed->setVisible(!m_elapsed->text().isEmpty());
    m_failure->setText(view.failure);
    m_failure->setVisible(!view.failure.isEmpty());
    m_serial->setText(view.serial.isEmpty() ? tr("Serial: none") : view.serial);
    m_counts->setText(tr("Finished %1    Failed %2").arg(view.finished).arg(view.failed));
    setLineWidth(view.nextScan || view.state == SlotState::RemoveUnit ? 6 : 2);
    paintState();
    fitFonts();
    setAccessibleName(tr("Slot %1, %2, serial %3")
                          .arg(view.slot)
                          .arg(stateText(), view.serial.isEmpty() ? tr("none") : view.serial));
}

void SlotTile::paintState() {
    const Colours colours = coloursOf(m_view.state);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colours.band);
    palette.setColor(QPalette::WindowText, colours.text);
    setPalette(palette);
}

void SlotTile::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    fitFonts();
}

void SlotTile::fitFonts() {
    const double scale = std::clamp(
        std::min(double(height()) / kBaseTile.height(), double(width()) / kBaseTile.width()), 1.0, kMaxScale);
    const auto scaled = [scale](int pixels) { return int(pixels * scale); };
    const int room = std::max(contentsRect().width() - 20, 1);
    setFontOf(m_title, pixelFont(scaled(kTitlePixels), true));
    fitLabel(m_state, scaled(kStatePixels), room, true);
    fitLabel(m_serial, scaled(kSerialPixels), room, true);
    setFontOf(m_elapsed, pixelFont(scaled(kElapsedPixels), true));
    setFontOf(m_failure, pixelFont(scaled(kDetailPixels), true));
    setFontOf(m_counts, pixelFont(scaled(kDetailPixels)));
    m_progress->setMaximumHeight(scaled(kDetailPixels));
}

} // namespace qt2xx::gang
