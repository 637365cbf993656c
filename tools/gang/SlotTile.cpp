#include "gang/SlotTile.h"

#include "link/TransmitWindow.h"
#include "ui/StatusLogBox.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace qt2xx::gang {

namespace {

// The state word is read from two metres with sixteen tiles on the screen.
constexpr int kStatePixels = 34;
constexpr int kTitlePixels = 18;
constexpr int kDetailPixels = 15;

QFont pixelFont(int pixels, bool bold = false) {
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The state's colours: the log's green, red and blue for the outcomes and the work under way.
struct Colours {
    QColor band;
    QColor text;
};

Colours coloursOf(SlotState state) {
    const QColor grey(0xd0, 0xd0, 0xd0);
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
    case SlotState::RemoveUnit:
        return {QColor(0xff, 0xd2, 0x4d), Qt::black};
    case SlotState::Checking:
    case SlotState::Seeking:
    case SlotState::Stopped:
        break;
    }
    return {grey, Qt::black};
}

} // namespace

SlotTile::SlotTile(QWidget* parent)
    : QFrame(parent), m_title(new QLabel(this)), m_state(new QLabel(this)),
      m_progress(new QProgressBar(this)), m_failure(new QLabel(this)), m_serial(new QLabel(this)),
      m_counts(new QLabel(this)) {
    setFrameShape(QFrame::Box);
    setLineWidth(2);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    background.setColor(QPalette::WindowText, Qt::black);
    setPalette(background);
    setFocusPolicy(Qt::NoFocus);
    m_title->setFont(pixelFont(kTitlePixels, true));
    m_state->setFont(pixelFont(kStatePixels, true));
    m_state->setAlignment(Qt::AlignCenter);
    m_state->setAutoFillBackground(true);
    m_state->setMinimumHeight(kStatePixels + 16);
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(true);
    m_failure->setFont(pixelFont(kDetailPixels, true));
    m_failure->setWordWrap(true);
    QPalette failurePalette = m_failure->palette();
    failurePalette.setColor(QPalette::WindowText, *qt2xx::logColorOf(qt2xx::kLogRed));
    m_failure->setPalette(failurePalette);
    m_serial->setFont(pixelFont(kTitlePixels));
    m_counts->setFont(pixelFont(kDetailPixels));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    layout->addWidget(m_title);
    layout->addWidget(m_state);
    layout->addWidget(m_progress);
    layout->addWidget(m_failure);
    layout->addStretch(1);
    layout->addWidget(m_serial);
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

void SlotTile::showView(const SlotView& view) {
    if (m_shown && view == m_view)
        return;
    m_view = view;
    m_shown = true;
    m_title->setText(view.nextScan ? tr("Slot %1  %2  (next scan)").arg(view.slot).arg(view.device)
                                   : tr("Slot %1  %2").arg(view.slot).arg(view.device));
    m_state->setText(stateText());
    const Colours colours = coloursOf(view.state);
    QPalette palette = m_state->palette();
    palette.setColor(QPalette::Window, colours.band);
    palette.setColor(QPalette::WindowText, colours.text);
    m_state->setPalette(palette);
    setLineWidth(view.nextScan ? 6 : 2);
    m_progress->setVisible(view.state == SlotState::Programming);
    m_progress->setValue(view.percent);
    m_failure->setText(view.failure);
    m_failure->setVisible(!view.failure.isEmpty());
    m_serial->setText(view.serial.isEmpty() ? tr("Serial: none") : tr("Serial: %1").arg(view.serial));
    m_counts->setText(tr("Finished %1    Failed %2").arg(view.finished).arg(view.failed));
    setAccessibleName(tr("Slot %1, %2, serial %3")
                          .arg(view.slot)
                          .arg(stateText(), view.serial.isEmpty() ? tr("none") : view.serial));
}

} // namespace qt2xx::gang
