#include "gang/GangWindow.h"

#include "forward/Forwarder.h"
#include "gang/StartPage.h"
#include "link/TransmitWindow.h"
#include "platform/core/ExitStatus.h"
#include "record/RecordWriter.h"
#include "station/OrderRun.h"
#include "station/SerialText.h"
#include "station/Station.h"
#include "ui/StatusLogBox.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>

namespace qt2xx::gang {

namespace {

constexpr auto kRepaintInterval = std::chrono::milliseconds(100);
constexpr auto kScanNoteTime = std::chrono::seconds(4);
constexpr auto kElapsedTick = std::chrono::milliseconds(500);
constexpr int kHeaderPixels = 20;
constexpr int kShaShown = 12;

QFont headerFont(bool bold = false) {
    QFont font;
    font.setPixelSize(kHeaderPixels);
    font.setBold(bold);
    return font;
}

void paintRed(QLabel* label, bool red) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, red ? *qt2xx::logColorOf(qt2xx::kLogRed)
                                               : QApplication::palette().color(QPalette::WindowText));
    label->setPalette(palette);
}

// Columns for n tiles on a wide screen: as square a grid as fills it.
int columnsFor(int n) {
    return std::max(1, int(std::ceil(std::sqrt(double(n)))));
}

} // namespace

GangWindow::GangWindow(GangOptions options, QString serialDirectory, QString deviceDirectory, QWidget* parent)
    : QWidget(parent), m_options(std::move(options)), m_pages(new QStackedWidget(this)),
      m_startPage(new StartPage(std::move(serialDirectory), std::move(deviceDirectory), this)) {
    setWindowTitle(tr("qt2xx Gang Programming"));
    m_startPage->setOperator(m_options.operatorId);
    m_pages->addWidget(m_startPage);
    m_runPage = buildRunPage();
    m_pages->addWidget(m_runPage);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);

    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kRepaintInterval);
    connect(&m_repaint, &QTimer::timeout, this, &GangWindow::repaintDirty);
    m_scanNoteTimer.setSingleShot(true);
    m_scanNoteTimer.setInterval(kScanNoteTime);
    connect(&m_scanNoteTimer, &QTimer::timeout, this, [this] {
        m_scanNote->hide();
        m_scan->show();
        m_scan->setFocus();
    });
    m_elapsedTick.setInterval(kElapsedTick);
    connect(&m_elapsedTick, &QTimer::timeout, this, [this] {
        for (int i = 0; i < int(m_slots.size()); ++i) {
            if (m_slots[i].port && m_slots[i].port->busy())
                markDirty(i);
        }
    });
    m_elapsedTick.start();
    connect(m_startPage, &StartPage::startRequested, this, &GangWindow::fromStartPage);
    connect(&m_session, &qt2xx::StationSession::notice, this, &GangWindow::showNotice);
    connect(&m_session, &qt2xx::StationSession::plantChanged, this, &GangWindow::refreshPlant);
    connect(&m_session, &qt2xx::StationSession::portsStarted, this, [this] {
        dropUnopenedPorts();
        markAll();
        setControls();
    });
    connect(&m_session, &qt2xx::StationSession::plantRulesChanged, this, &GangWindow::refreshPlant);
    connect(&m_session, &qt2xx::StationSession::figuresChanged, this, &GangWindow::refreshPlant);
    connect(&m_session, &qt2xx::StationSession::forwardingChanged, this, &GangWindow::refreshRecords);
    connect(&m_session, &qt2xx::StationSession::figuresChanged, this, &GangWindow::refreshHeader);
    connect(&m_session, &qt2xx::StationSession::labelsChanged, this, &GangWindow::refreshLabels);
}

GangWindow::~GangWindow() = default;

QWidget* GangWindow::buildRunPage() {
    auto* page = new QWidget(this);
    m_grid = new QWidget(page);
    m_gridLayout = new QGridLayout(m_grid);
    m_gridLayout->setSpacing(6);
    m_gridLayout->setContentsMargins(0, 0, 0, 0);

    m_scan = new QLineEdit(page);
    m_scan->setFont(headerFont());
    m_scan->setAccessibleName(tr("Scan"));
    // A paste of any length is held to a bounded line; a line that fills it is refused at Enter.
    m_scan->setMaxLength(int(qt2xx::kScanLineMaxBytes));
    // A set file programs every unit that answers: the field is there for the scanner, but nothing
    // waits for it.
    m_scan->setPlaceholderText(tr("No scan is needed: every slot seeks at once."));
    m_scanNote = new QLabel(page);
    m_scanNote->setFont(headerFont(true));
    m_scanNote->hide();
    m_startButton = new QPushButton(tr("Start (F5)"), page);
    m_startButton->setShortcut(QKeySequence(Qt::Key_F5));
    m_stopButton = new QPushButton(tr("Stop (F8)"), page);
    m_stopButton->setShortcut(QKeySequence(Qt::Key_F8));
    m_closeButton = new QPushButton(tr("Close (Ctrl+Q)"), page);
    m_closeButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QPushButton* button : {m_startButton, m_stopButton, m_closeButton})
        button->setFont(headerFont());
    connect(m_scan, &QLineEdit::returnPressed, this, [this] {
        const QString text = m_scan->text();
        m_scan->clear();
        scanEntered(text);
    });
    connect(m_startButton, &QPushButton::clicked, this, [this] {
        startRun();
        m_scan->setFocus();
    });
    connect(m_stopButton, &QPushButton::clicked, this, [this] {
        stopRun();
        m_scan->setFocus();
    });
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);

    auto* controls = new QHBoxLayout;
    auto* scanLabel = new QLabel(tr("S&can:"), page);
    scanLabel->setFont(headerFont());
    scanLabel->setBuddy(m_scan);
    controls->addWidget(scanLabel);
    controls->addWidget(m_scan, 1);
    controls->addWidget(m_scanNote, 1);
    controls->addWidget(m_startButton);
    controls->addWidget(m_stopButton);
    controls->addWidget(m_closeButton);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(buildHeader());
    layout->addWidget(m_grid, 1);
    layout->addLayout(controls);
    setTabOrder(m_scan, m_startButton);
    setTabOrder(m_startButton, m_stopButton);
    setTabOrder(m_stopButton, m_closeButton);
    return page;
}

QWidget* GangWindow::buildHeader() {
    auto* header = new QWidget(this);
    m_order = new QLabel(header);
    m_set = new QLabel(header);
    m_operator = new QLabel(header);
    m_progress = new QProgressBar(header);
    m_progressText = new QLabel(header);
    m_totals = new QLabel(header);
    m_records = new QLabel(header);
    m_notices = new QLabel(header);
    for (QLabel* label : {m_order, m_set, m_operator, m_progressText, m_totals, m_records})
        label->setFont(headerFont());
    m_progressText->setFont(headerFont(true));
    m_notices->setWordWrap(true);
    m_notices->hide();
    paintRed(m_notices, true);
    m_progress->setTextVisible(false);
    m_progress->setFocusPolicy(Qt::NoFocus);

    auto* grid = new QGridLayout(header);
    grid->setContentsMargins(0, 0, 0, 4);
    grid->addWidget(m_order, 0, 0);
    grid->addWidget(m_set, 0, 1);
    grid->addWidget(m_operator, 0, 2);
    grid->addWidget(m_progress, 1, 0);
    grid->addWidget(m_progressText, 1, 1);
    grid->addWidget(m_totals, 1, 2);
    grid->addWidget(m_records, 2, 0, 1, 3);
    grid->addWidget(m_notices, 3, 0, 1, 3);
    m_labels = new QLabel(header);
    m_labels->setFont(headerFont());
    m_labels->hide();
    grid->addWidget(m_labels, 4, 0, 1, 3);
    m_plant = new QLabel(header);
    m_plant->setFont(headerFont());
    m_plant->hide();
    grid->addWidget(m_plant, 5, 0, 1, 3);
    m_fixtureState = new QLabel(header);
    m_fixtureState->setFont(headerFont(true));
    m_fixtureState->setWordWrap(true);
    m_fixtureState->hide();
    paintRed(m_fixtureState, true);
    grid->addWidget(m_fixtureState, 6, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return header;
}

void GangWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_pages->currentWidget() == m_runPage)
        m_scan->setFocus();
}

void GangWindow::fromStartPage() {
    qt2xx::SessionOptions session = m_options.session;
    const QString file = m_startPage->setFile();
    const bool order = file.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    session.setFile = order ? QString() : file;
    session.orderFile = order ? file : QString();
    session.ports = m_startPage->chosenPorts();
    m_options.operatorId = session.operatorId = m_startPage->operatorId();
    begin(session);
}

bool GangWindow::begin(const qt2xx::SessionOptions& session) {
    m_options.session = session;
    if (!openFixture(session))
        return false;
    if (!m_session.open(session)) {
        m_refusedStatus = m_session.refusal()->status;
        m_startPage->setProblem(m_session.refusal()->text);
        m_pages->setCurrentWidget(m_startPage);
        return false;
    }
    m_opened = true;
    m_slots.clear();
    for (const qt2xx::PortChoice& choice : m_session.ports()) {
        Slot slot;
        slot.choice = choice;
        m_slots.push_back(slot);
    }
    buildTiles();
    m_pages->setCurrentWidget(m_runPage);
    m_scan->setFocus();
    refreshRecords();
    refreshLabels();
    refreshPlant();
    return startRun();
}

bool GangWindow::startRun() {
    if (!m_opened || running())
        return false;
    for (Slot& slot : m_slots) {
        if (slot.port)
            slot.earlier.push_back(slot.port);
        slot.port = nullptr;
        slot.problem.clear();
        slot.dropped.clear();
    }
    m_runNotices.clear();
    m_notices->hide();
    qt2xx::Station& station = m_session.newStation();
    bindStation();
    const bool started = m_session.start();
    if (m_fixture)
        m_fixture->start();
    bindRun();
    // Checking the order with the server, the ports start later.
    if (m_session.plantRules() != qt2xx::PlantRules::Checking)
        dropUnopenedPorts();
    if (!started) {
        m_refusedStatus = m_session.refusal()->status;
        showRunNotice(m_session.refusal()->text);
    }
    connect(&station, &qt2xx::Station::stopped, this, &GangWindow::onStopped);
    for (int i = 0; i < int(m_slots.size()); ++i)
        markDirty(i);
    refreshHeader();
    setControls();
    return started;
}

// The station drops the ports that did not open: their slots keep no pointer to them.
void GangWindow::dropUnopenedPorts() {
    const qt2xx::Station& station = *m_session.station();
    const auto kept = [&station](const qt2xx::StationPort* port) {
        return std::any_of(station.ports().cbegin(), station.ports().cend(),
                           [port](const auto& p) { return p.get() == port; });
    };
    for (Slot& slot : m_slots) {
        if (slot.port && (!kept(slot.port) || (!slot.port->running() && !slot.port->paused())))
            slot.port = nullptr;
        if (!slot.port && slot.problem.isEmpty())
            slot.problem = slot.choice.problem;
    }
}

void GangWindow::bindStation() {
    qt2xx::Station& station = *m_session.station();
    for (const auto& port : station.ports()) {
        for (int i = 0; i < int(m_slots.size()); ++i) {
            if (m_slots[i].choice.device != port->device())
                continue;
            m_slots[i].port = port.get();
            connect(port.get(), &qt2xx::StationPort::changed, this, [this, i] { markDirty(i); });
            connect(port.get(), &qt2xx::StationPort::event, this, [this, i](const qt2xx::PortEvent& event) {
                if (event.kind != qt2xx::PortEventKind::Started)
                    return;
                m_slots[i].unitBegan = event.time;
                m_slots[i].unitEnded = QDateTime();
            });
            connect(port.get(), &qt2xx::StationPort::unitEnded, this,
                    [this, i](const qt2xx::PortEvent& event) { m_slots[i].unitEnded = event.time; });
        }
    }
    // A station of an earlier run still tells the units whose records were written late: they count
    // in the slot's figures.
    connect(&station, &qt2xx::Station::event, this, [this](const qt2xx::PortEvent& event) {
        for (int i = 0; i < int(m_slots.size()); ++i) {
            if (m_slots[i].choice.device == event.device)
                markDirty(i);
        }
    });
    connect(&station, &qt2xx::Station::openFailed, this,
            [this](const QString& device, const QString& problem) {
                for (Slot& slot : m_slots) {
                    if (slot.choice.device == device)
                        slot.problem = problem;
                }
            });
}

// Which slot takes the next scan, and the order's progress, change with every scan and unit.
void GangWindow::bindRun() {
    qt2xx::OrderRun* run = m_session.run();
    if (!run)
        return;
    connect(run, &qt2xx::OrderRun::changed, this, &GangWindow::markAll);
    connect(run, &qt2xx::OrderRun::scanDropped, this,
            [this](int, const QString& device, const QString& serial) { showDropped(device, serial, true); });
    connect(run, &qt2xx::OrderRun::armed, this, [this](int, const QString& device, const QString& serial) {
        showDropped(device, serial, false);
    });
    connect(run, &qt2xx::OrderRun::scanRefused, this,
            [this](const QString&, const QString& reason) { refuseScan(reason); });
    m_scan->setPlaceholderText(run->scanning() ? tr("Scan the label of the unit in the marked slot.")
                                               : tr("No scan is needed: every slot seeks at once."));
}

// A dropped serial is told on its slot's tile until the slot is armed again. The tile names the slot
// by its place in the fixture, whichever ports opened.
void GangWindow::showDropped(const QString& device, const QString& serial, bool dropped) {
    for (int i = 0; i < int(m_slots.size()); ++i) {
        if (m_slots[i].choice.device != device)
            continue;
        m_slots[i].dropped = dropped ? qt2xx::ScanArbiter::droppedText(serial, i + 1) : QString();
        markDirty(i);
    }
}

void GangWindow::markAll() {
    for (int i = 0; i < int(m_slots.size()); ++i)
        markDirty(i);
}

void GangWindow::stopRun() {
    if (running())
        m_session.station()->stop();
    setControls();
}

void GangWindow::onStopped() {
    for (int i = 0; i < int(m_slots.size()); ++i)
        markDirty(i);
    setControls();
    if (m_closing) {
        m_session.finish();
        m_finished = true;
        repaintDirty();
        // A station with no exchange under way stops inside closeEvent(), where close() is ignored.
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

bool GangWindow::running() const {
    return m_session.running();
}

void GangWindow::setControls() {
    const bool on = running();
    m_startButton->setEnabled(m_opened && !on && !m_closing);
    m_stopButton->setEnabled(on && !m_closing);
}

void GangWindow::markDirty(int slot) {
    m_dirty.insert(slot);
    if (!m_repaint.isActive())
        m_repaint.start();
}

void GangWindow::repaintDirty() {
    for (int slot : std::as_const(m_dirty)) {
        if (slot < int(m_tiles.size()))
            m_tiles[slot]->showView(viewOf(slot));
    }
    m_dirty.clear();
    refreshHeader();
    setControls();
}

SlotView GangWindow::viewOf(int slot) const {
    const Slot& s = m_slots[slot];
    SlotView view;
    view.slot = slot + 1;
    view.device = s.choice.device.isEmpty() ? s.choice.text : s.choice.device;
    for (const qt2xx::StationPort* port : s.earlier) {
        view.finished += port->finished();
        view.failed += port->failed() + port->interrupted();
    }
    if (!s.port) {
        view.state = s.problem.isEmpty() ? SlotState::Stopped : SlotState::NotOpen;
        view.failure = s.problem;
        return view;
    }
    view.finished += s.port->finished();
    view.failed += s.port->failed() + s.port->interrupted();
    const qt2xx::OrderRun* run = m_session.run();
    view.nextScan = run && run->nextSlot() > 0 && run->portOfSlot(run->nextSlot()) == s.port;
    view.state = qt2xx::PhaseOf(*s.port);
    view.serial = s.port->serial();
    if (view.state == SlotState::Programming)
        view.percent = int(s.port->progress());
    view.elapsedTenths = elapsedTenths(s, view.state);
    if (s.port->lastEnd() && (view.state == SlotState::Finished || view.state == SlotState::Failed ||
                              view.state == SlotState::RemoveUnit)) {
        view.failure = s.port->lastEnd()->failure;
        view.serial = s.port->lastEnd()->serial;
    }
    if (!s.dropped.isEmpty())
        view.failure = s.dropped;
    return view;
}

// How long the slot's unit has taken: so far while it is programmed, in all once it ended.
int GangWindow::elapsedTenths(const Slot& slot, SlotState state) {
    if (!slot.unitBegan.isValid())
        return -1;
    if (state == SlotState::Programming)
        return int(slot.unitBegan.msecsTo(QDateTime::currentDateTimeUtc()) / 100);
    const bool ended =
        state == SlotState::Finished || state == SlotState::Failed || state == SlotState::RemoveUnit;
    if (!ended || !slot.unitEnded.isValid())
        return -1;
    return int(slot.unitBegan.msecsTo(slot.unitEnded) / 100);
}

void GangWindow::buildTiles() {
    for (SlotTile* tile : m_tiles)
        delete tile;
    m_tiles.clear();
    const int n = int(m_slots.size());
    const int columns = columnsFor(n);
    for (int i = 0; i < n; ++i) {
        auto* tile = new SlotTile(m_grid);
        m_gridLayout->addWidget(tile, i / columns, i % columns);
        m_tiles.push_back(tile);
        tile->showView(viewOf(i));
    }
    for (int c = 0; c < columns; ++c)
        m_gridLayout->setColumnStretch(c, 1);
    for (int r = 0; r < (n + columns - 1) / columns; ++r)
        m_gridLayout->setRowStretch(r, 1);
}

void GangWindow::refreshHeader() {
    const QString sha = m_session.setSha256().left(kShaShown);
    const qt2xx::OrderPlan& plan = m_session.plan();
    if (plan.orderId.isEmpty())
        m_order->setText(tr("Order: %1").arg(tr("none")));
    else if (plan.product.isEmpty())
        m_order->setText(tr("Order: %1").arg(plan.orderId));
    else
        m_order->setText(tr("Order: %1  %2").arg(plan.orderId, plan.product));
    m_set->setText(tr("Set: %1  %2").arg(QFileInfo(m_session.setPath()).fileName(), sha));
    m_set->setToolTip(m_session.setPath());
    m_operator->setText(
        tr("Operator: %1").arg(m_options.operatorId.isEmpty() ? tr("none") : m_options.operatorId));
    const int finished = m_session.finished();
    const int failed = m_session.failed();
    const qt2xx::OrderRun* run = m_session.run();
    if (!plan.orderId.isEmpty() && run) {
        m_progress->setRange(0, plan.quantity);
        m_progress->setValue(std::min(run->unitsDone(), plan.quantity));
        m_progressText->setText(tr("%1 / %2").arg(run->unitsDone()).arg(plan.quantity));
    } else {
        // A set file has no quantity: the bar stays empty and the text counts the units finished.
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        m_progressText->setText(QString::number(finished));
    }
    const std::optional<double> firstPass = m_session.figures().firstPassYield();
    const QString yield =
        firstPass ? QString::number(100.0 * *firstPass, 'f', 1) + QStringLiteral(" %") : QStringLiteral("-");
    m_totals->setText(
        tr("Finished %1   Failed %2   First-pass yield %3").arg(finished).arg(failed).arg(yield));
}

void GangWindow::refreshRecords() {
    qt2xx::RecordWriter* writer = m_session.writer();
    bool red = false;
    QString text;
    if (!writer) {
        text = tr("No record is kept.");
    } else if (!m_session.recordsFailure().isEmpty()) {
        text =
            tr("Records cannot be written to %1: %2").arg(writer->databasePath(), m_session.recordsFailure());
        red = true;
    } else {
        text = tr("Records are kept in %1.").arg(writer->databasePath());
    }
    if (qt2xx::Forwarder* forwarder = m_session.forwarder()) {
        const qt2xx::ForwardingState& state = m_session.forwarding();
        const qint64 waiting = state.waiting;
        if (state.stopped) {
            text += QLatin1Char(' ') + tr("The server %1 is not reached (%2 waiting): %3")
                                           .arg(forwarder->server())
                                           .arg(waiting)
                                           .arg(state.reason);
            red = true;
        } else if (waiting > 0) {
            text += QLatin1Char(' ') + tr("%1 wait for the server %2.").arg(waiting).arg(forwarder->server());
        } else {
            text += QLatin1Char(' ') + tr("All are forwarded to %1.").arg(forwarder->server());
        }
    }
    m_records->setText(text);
    paintRed(m_records, red);
}

QString GangWindow::recordsText() const {
    return m_records->text();
}

QString GangWindow::headerText() const {
    QStringList lines{m_order->text(),        m_set->text(),    m_operator->text(),
                      m_progressText->text(), m_totals->text(), m_records->text()};
    for (const QLabel* label : {m_labels, m_plant, m_fixtureState}) {
        if (!label->isHidden())
            lines << label->text();
    }
    return lines.join(QLatin1Char('\n'));
}

// Red while the printer does not take the labels: they wait, and go once it answers.
void GangWindow::refreshLabels() {
    const qt2xx::LabelsState& labels = m_session.labels();
    m_labels->setVisible(!labels.printer.isEmpty());
    if (labels.printer.isEmpty())
        return;
    if (labels.waiting < 0)
        m_labels->setText(tr("Labels: the queue cannot be read: %1").arg(labels.reason));
    else if (labels.stopped)
        m_labels->setText(tr("Labels: %1 waiting: the printer %2 is not answering: %3")
                              .arg(labels.waiting)
                              .arg(labels.printer, labels.reason));
    else
        m_labels->setText(tr("Labels: %1 printed, %2 waiting on %3.")
                              .arg(labels.printed)
                              .arg(labels.waiting)
                              .arg(labels.printer));
    paintRed(m_labels, labels.stopped || labels.waiting < 0);
}

// Red while the plant's rules are not kept: the server is away.
void GangWindow::refreshPlant() {
    const QString line = m_session.plantLine();
    m_plant->setVisible(!line.isEmpty());
    m_plant->setText(tr("Plant: %1").arg(line));
    paintRed(m_plant, !m_session.plantRulesKept());
}

// The records and the server have the header's own line; ports that did not open and what the end of
// a run left open are listed under it.
void GangWindow::showNotice(const qt2xx::SessionNotice& notice) {
    using Kind = qt2xx::SessionNotice::Kind;
    if (notice.kind == Kind::RecordsFailing || notice.kind == Kind::RecordsResumed)
        refreshRecords();
    if (notice.kind == Kind::PortNotOpen || notice.kind == Kind::EndOfRun ||
        notice.kind == Kind::OrderRefused || notice.kind == Kind::LabelsInDoubt)
        showRunNotice(notice.text);
}

void GangWindow::showRunNotice(const QString& text) {
    m_runNotices << text;
    m_notices->setText(m_runNotices.join(QLatin1Char('\n')));
    m_notices->show();
}

void GangWindow::showScanNote(const QString& text) {
    m_scanNote->setText(text);
    paintRed(m_scanNote, true);
    m_scan->hide();
    m_scanNote->show();
    m_scanNoteTimer.start();
}

void GangWindow::refuseScan(const QString& text) {
    QApplication::beep();
    if (m_fixture)
        m_fixture->scanRefused();
    showScanNote(text);
}

// Read before the session opens, so that a mistake in it touches no port; the driver is made once.
bool GangWindow::openFixture(const qt2xx::SessionOptions& session) {
    if (m_options.fixtureFile.isEmpty() || m_fixture)
        return true;
    qt2xx::Result<qt2xx::Fixture> fixture =
        qt2xx::ReadFixtureFile(m_options.fixtureFile, int(session.ports.size()));
    if (!fixture) {
        m_refusedStatus = qt2xx::ExitRefused;
        m_startPage->setProblem(QStringLiteral("%1: %2").arg(m_options.fixtureFile, fixture.error()));
        m_pages->setCurrentWidget(m_startPage);
        return false;
    }
    m_fixture = std::make_unique<qt2xx::FixtureDriver>(m_session, std::move(*fixture));
    connect(m_fixture.get(), &qt2xx::FixtureDriver::moduleAway, this, &GangWindow::showFixture);
    connect(m_fixture.get(), &qt2xx::FixtureDriver::moduleBack, this, [this] { showFixture(QString()); });
    return true;
}

// What the operator reads first is what it means for the scans; the reason is the link's own words.
void GangWindow::showFixture(const QString& away) {
    m_fixtureState->setText(
        away.isEmpty()
            ? QString()
            : tr("Slots with a unit contact take no scan until the fixture answers again: %1").arg(away));
    m_fixtureState->setVisible(!away.isEmpty());
}

void GangWindow::scanEntered(const QString& text) {
    if (text.trimmed().isEmpty())
        return;
    qt2xx::OrderRun* run = m_session.run();
    if (!run || !run->scanning()) {
        refuseScan(tr("No slot waits for a scan: the set file programs every unit."));
        return;
    }
    // The field held only its first characters: what was cut may have made it another serial.
    if (text.size() >= m_scan->maxLength()) {
        refuseScan(tr("A line of %1 characters or more is too long for a serial, which has at most %2 "
                      "characters.")
                       .arg(m_scan->maxLength())
                       .arg(qt2xx::kSerialMaxLength));
        return;
    }
    const qt2xx::ScanArbiter::Scan scan = run->scan(text);
    if (scan.outcome == qt2xx::ScanArbiter::Outcome::Refused) {
        refuseScan(scan.reason);
        return;
    }
    markAll();
}

void GangWindow::closeEvent(QCloseEvent* event) {
    if (running()) {
        if (m_session.exchangeUnderWay() &&
            QMessageBox::question(this, tr("Stop and close"),
                                  tr("A unit is being programmed. Stop once the exchanges under way have "
                                     "finished, and close?")) != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        m_closing = true;
        setControls();
        event->ignore();
        m_session.station()->stop();
        return;
    }
    if (m_opened && !m_finished) {
        m_session.finish();
        m_finished = true;
    }
    repaintDirty(); // the units whose records came in last
    // The fixture is left safe as the window goes, within the link's bound if the module is away.
    if (m_fixture)
        m_fixture->finish();
    event->accept();
}

int GangWindow::exitStatus() const {
    if (m_refusedStatus != 0 && m_session.finished() + m_session.failed() == 0)
        return m_refusedStatus;
    if (!m_opened)
        return qt2xx::ExitOk;
    const qt2xx::Station* station = m_session.station();
    const bool unconfirmed = station && station->unconfirmed() > 0;
    return m_session.failed() > 0 || unconfirmed ? qt2xx::ExitFailed : qt2xx::ExitOk;
}

} // namespace qt2xx::gang
