#include "ui/frmMain.h"

#include "link/DownloadSequencer.h"
#include "platform/core/MessageBox.h"
#include "platform/widgets/QtFileDialog.h"
#include "platform/widgets/QtMessageBox.h"
#include "platform/widgets/RichTextBox.h"
#include "record/RunRecorder.h"
#include "ui/ControlBuilder.h"
#include "ui/Fonts.h"
#include "ui/Layout.h"
#include "ui/PortBoxToolTip.h"
#include "ui/StatusLogBox.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <cmath>

namespace qt2xx {
namespace {

constexpr int kOuterHeightTwips = 9000;
constexpr int kConcealedWidthTwips = 3280;
constexpr int kExpandedWidthTwips = 11500;
const QString kConceal = QStringLiteral("<<Conceal");
const QString kVisiable = QStringLiteral(">>Visiable");
constexpr int kFontPointSize = 8;

// A face with Chinese glyphs for the captions. At this size every caption fits the room its label
// leaves beside its control.
QFont windowFont() {
    QFont font;
    font.setFamilies(CjkFontFamilies());
    font.setPointSize(kFontPointSize);
    return font;
}

} // namespace

frmMain::frmMain(QWidget* parent) : frmMain(nullptr, nullptr, parent) {}

frmMain::frmMain(std::unique_ptr<MessageBox> messages, std::unique_ptr<FileDialog> dialog, QWidget* parent)
    : QMainWindow(parent), m_messages(std::move(messages)), m_dialog(std::move(dialog)) {
    if (!m_messages)
        m_messages = std::make_unique<QtMessageBox>(this);
    if (!m_dialog)
        m_dialog = std::make_unique<QtFileDialog>(this);
    setWindowTitle(kApplicationTitle);
    // Fixed size: it can be minimised but neither resized nor maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(windowFont());
    buildMenu();
    buildControls();
    m_log = std::make_unique<StatusLogBox>(*m_richTextBox);
    m_sequencer =
        std::make_unique<DownloadSequencer>(m_ctrMSComm, *this, *m_log, *m_messages, m_values, m_frame);
    m_files = std::make_unique<FileCommands>(*this, *m_dialog, *m_messages, m_values, *m_sequencer);
    m_Timer1.setTimerType(Qt::PreciseTimer);
    m_Timer1.setInterval(kTickInterval);
    new PortBoxToolTip(m_cboComPort, m_ctrMSComm);
    wireEvents();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    const ControlMap built =
        BuildControls(client, WindowLayout(), [this](QWidget* p) { return makeStatusLog(p); });
    m_cmdShow = RequireControl<QPushButton>(built, kCmdShow);
    m_txtLoadDir = RequireControl<QLineEdit>(built, kTxtLoadDir);
    m_txtSaveDir = RequireControl<QLineEdit>(built, kTxtSaveDir);
    m_cboComPort = RequireControl<QComboBox>(built, kCboComPort);
    m_cmdFileSend = RequireControl<QPushButton>(built, kCmdFileSend);
    m_indicator = RequireControl<QLabel>(built, kIndicator);
    m_prgFileTransfer = RequireControl<QProgressBar>(built, kPrgFileTransfer);
    m_Frame10 = RequireControl<QWidget>(built, kParameterPanel);
    // makeStatusLog keeps the log's box; the table must still make it, or the log has none.
    RequireControl<RichTextBox>(built, kRtfReceive);
    for (int i = 0; i < kParameterCount; ++i)
        m_Combo1[i] = RequireControl<QComboBox>(built, ParameterListName(i));
}

void frmMain::buildMenu() {
    // A desktop-wide menu bar takes only menus; OPEN and STORE are commands, so they stay in the window.
    menuBar()->setNativeMenuBar(false);
    m_openFile = menuBar()->addAction(QStringLiteral("OPEN"));
    m_openFile->setObjectName(QStringLiteral("OpenFile"));
    m_storeFile = menuBar()->addAction(QStringLiteral("STORE"));
    m_storeFile->setObjectName(QStringLiteral("StoreFile"));
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, &frmMain::menuBarByKeyboard);
}

// F10 puts the menu bar under the keyboard, as pressing and releasing Alt alone does.
void frmMain::menuBarByKeyboard() {
    QKeyEvent altPressed(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
    QKeyEvent altReleased(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &altPressed);
    QCoreApplication::sendEvent(this, &altReleased);
}

QWidget* frmMain::makeStatusLog(QWidget* parent) {
    m_richTextBox = new RichTextBox(parent);
    return m_richTextBox;
}

// Exactly the events that have a procedure; nothing runs when a list changes, the port box is
// edited, or the window is resized or closed.
void frmMain::wireEvents() {
    connect(m_cmdShow, &QPushButton::clicked, this, &frmMain::cmdShow_Click);
    connect(m_cmdFileSend, &QPushButton::clicked, this, [this] { m_sequencer->cmdFileSend_Click(); });
    connect(&m_Timer1, &QTimer::timeout, this, [this] { m_sequencer->Timer1_Timer(); });
    connect(m_openFile, &QAction::triggered, this, [this] { m_files->OpenFile_Click(); });
    connect(m_storeFile, &QAction::triggered, this, [this] { m_files->StoreFile_Click(); });
}

// Start-up, once, before the window is first shown. The transmission state starts at Idle with the
// sequencer, and the timer stays stopped.
void frmMain::Form_Load() {
    m_cmdShow->setText(kConceal);
    m_expanded = true;
    setOuterHeight(kOuterHeightTwips);
    m_files->initialiseDialog();
    m_prgFileTransfer->setMaximum(100);
    m_prgFileTransfer->setMinimum(0);
    m_prgFileTransfer->setValue(0);
    m_log->reset();
    m_cboComPort->setCurrentIndex(-1);
    m_cboComPort->setEditText(QStringLiteral("1"));
}

void frmMain::cmdShow_Click() {
    const bool wasExpanded = m_expanded;
    m_expanded = !m_expanded;
    m_cmdShow->setText(wasExpanded ? kVisiable : kConceal);
    setOuterWidth(wasExpanded ? kConcealedWidthTwips : kExpandedWidthTwips);
    setOuterHeight(kOuterHeightTwips);
}

void frmMain::CommPortOpen_Close() {
    m_sequencer->CommPortOpen_Close();
}

void frmMain::ReceiveDisplay(const QString& strAdd, LogColor intColor) {
    m_log->ReceiveDisplay(strAdd, intColor);
}

CommFlag frmMain::intCommFlag() const {
    return m_sequencer->intCommFlag();
}

const QString& frmMain::strFileDirectary() const {
    return m_files->strFileDirectary();
}

QString frmMain::comboText(int index) const {
    return m_Combo1.at(index)->currentText();
}

QString frmMain::portBoxText() const {
    return m_cboComPort->currentText();
}

void frmMain::setFileSendCaption(const QString& caption) {
    m_cmdFileSend->setText(caption);
}

void frmMain::setControlsEnabled(bool enabled) {
    m_Frame10->setEnabled(enabled);
    m_cboComPort->setEnabled(enabled);
}

bool frmMain::indicatorEnabled() const {
    return m_indicator->isEnabled();
}

void frmMain::setIndicatorEnabled(bool enabled) {
    m_indicator->setEnabled(enabled);
}

void frmMain::setProgressValue(float value) {
    m_prgFileTransfer->setValue(static_cast<int>(std::lround(value)));
}

void frmMain::setTimerEnabled(bool enabled) {
    if (enabled)
        m_Timer1.start();
    else
        m_Timer1.stop();
}

void frmMain::selectChoice(int index, int choice) {
    m_Combo1.at(index)->setCurrentIndex(choice);
}

void frmMain::setLoadDirText(const QString& path) {
    m_txtLoadDir->setText(path);
}

void frmMain::setSaveDirText(const QString& path) {
    m_txtSaveDir->setText(path);
}

// Outer sizes count the frame, the title bar and the menu bar. The frame is known only once the
// window is shown, so the size is applied again when it is measured.
void frmMain::setOuterWidth(int twips) {
    m_outerWidthTwips = twips;
    applyOuterSize();
}

void frmMain::setOuterHeight(int twips) {
    m_outerHeightTwips = twips;
    applyOuterSize();
}

QSize frmMain::frameSize() const {
    return frameGeometry().size() - geometry().size();
}

void frmMain::applyOuterSize() {
    m_appliedFrame = frameSize();
    const int width = m_outerWidthTwips ? TwipsToPixels(*m_outerWidthTwips) - m_appliedFrame.width()
                                        : TwipsToPixels(kClientWidthTwips);
    setFixedSize(width, TwipsToPixels(m_outerHeightTwips) - m_appliedFrame.height());
}

void frmMain::centreOnScreen() {
    QRect outer(QPoint(), size() + frameSize());
    outer.moveCenter(screen()->availableGeometry().center());
    move(outer.topLeft());
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    applyOuterSize();
    centreOnScreen();
}

// A window manager reports the frame after the window is mapped; the outer size then follows it, and
// the first time it does the window is centred again with its true outer size.
void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (!m_shown || frameSize() == m_appliedFrame)
        return;
    applyOuterSize();
    if (!m_centredWithFrame) {
        m_centredWithFrame = true;
        centreOnScreen();
    }
}

} // namespace qt2xx
