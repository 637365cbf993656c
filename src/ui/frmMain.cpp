#include "ui/frmMain.h"

#include "link/DownloadSequencer.h"
#include "platform/core/MessageBox.h"
#include "platform/widgets/QtFileDialog.h"
#include "platform/widgets/QtMessageBox.h"
#include "platform/widgets/RichTextBox.h"
#include "record/RunRecorder.h"
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

// A face with Chinese glyphs for the captions; the first family present is taken. At this size every
// caption fits the room its label leaves beside its control.
QFont windowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("SimSun")});
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
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    m_controls = BuildControls(client, WindowLayout(), [this](QWidget* p) { return makeStatusLog(p); });
    m_log = std::make_unique<StatusLogBox>(*m_richTextBox);
    m_sequencer =
        std::make_unique<DownloadSequencer>(m_ctrMSComm, *this, *m_log, *m_messages, m_values, m_frame);
    m_files = std::make_unique<FileCommands>(*this, *m_dialog, *m_messages, m_values, *m_sequencer);
    m_Timer1.setTimerType(Qt::PreciseTimer);
    m_Timer1.setInterval(kTickInterval);
    new PortBoxToolTip(get<QComboBox>(QStringLiteral("cboComPort")), m_ctrMSComm);
    wireEvents();
    Form_Load();
}

frmMain::~frmMain() = default;

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
    connect(get<QPushButton>(QStringLiteral("cmdShow")), &QPushButton::clicked, this,
            &frmMain::cmdShow_Click);
    connect(get<QPushButton>(QStringLiteral("cmdFileSend")), &QPushButton::clicked, this,
            [this] { m_sequencer->cmdFileSend_Click(); });
    connect(&m_Timer1, &QTimer::timeout, this, [this] { m_sequencer->Timer1_Timer(); });
    connect(m_openFile, &QAction::triggered, this, [this] { m_files->OpenFile_Click(); });
    connect(m_storeFile, &QAction::triggered, this, [this] { m_files->StoreFile_Click(); });
}

// Start-up, once, before the window is first shown. The transmission state starts at Idle with the
// sequencer, and the timer stays stopped.
void frmMain::Form_Load() {
    get<QPushButton>(QStringLiteral("cmdShow"))->setText(kConceal);
    m_expanded = true;
    setOuterHeight(kOuterHeightTwips);
    m_files->initialiseDialog();
    auto* progress = get<QProgressBar>(QStringLiteral("prgFileTransfer"));
    progress->setMaximum(100);
    progress->setMinimum(0);
    progress->setValue(0);
    m_log->reset();
    auto* port = get<QComboBox>(QStringLiteral("cboComPort"));
    port->setCurrentIndex(-1);
    port->setEditText(QStringLiteral("1"));
}

void frmMain::cmdShow_Click() {
    const bool wasExpanded = m_expanded;
    m_expanded = !m_expanded;
    get<QPushButton>(QStringLiteral("cmdShow"))->setText(wasExpanded ? kVisiable : kConceal);
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
    return get<QComboBox>(ParameterListName(index))->currentText();
}

QString frmMain::portBoxText() const {
    return get<QComboBox>(QStringLiteral("cboComPort"))->currentText();
}

void frmMain::setFileSendCaption(const QString& caption) {
    get<QPushButton>(QStringLiteral("cmdFileSend"))->setText(caption);
}

void frmMain::setControlsEnabled(bool enabled) {
    control(kParameterPanel)->setEnabled(enabled);
    control(QStringLiteral("cboComPort"))->setEnabled(enabled);
}

bool frmMain::indicatorEnabled() const {
    return control(QStringLiteral("Label1(0)"))->isEnabled();
}

void frmMain::setIndicatorEnabled(bool enabled) {
    control(QStringLiteral("Label1(0)"))->setEnabled(enabled);
}

void frmMain::setProgressValue(float value) {
    get<QProgressBar>(QStringLiteral("prgFileTransfer"))->setValue(static_cast<int>(std::lround(value)));
}

void frmMain::setTimerEnabled(bool enabled) {
    if (enabled)
        m_Timer1.start();
    else
        m_Timer1.stop();
}

void frmMain::selectChoice(int index, int choice) {
    get<QComboBox>(ParameterListName(index))->setCurrentIndex(choice);
}

void frmMain::setLoadDirText(const QString& path) {
    get<QLineEdit>(QStringLiteral("txtLoadDir"))->setText(path);
}

void frmMain::setSaveDirText(const QString& path) {
    get<QLineEdit>(QStringLiteral("txtSaveDir"))->setText(path);
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
