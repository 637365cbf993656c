#include "gang/StartPage.h"

#include "link/TransmitWindow.h"
#include "station/Devices.h"
#include "ui/StatusLogBox.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace qt2xx::gang {

namespace {

const QString kSetFileKey = QStringLiteral("gang/setFile");
const QString kSlotsKey = QStringLiteral("gang/slots");

// The name a slot keeps whatever order the adapters come up in: its by-path link when it has one.
QString slotName(const qt2xx::SerialDevice& device) {
    return device.byPath.isEmpty() ? device.device : device.byPath.first();
}

} // namespace

StartPage::StartPage(QString serialDirectory, QString deviceDirectory, QWidget* parent)
    : QWidget(parent), m_serialDirectory(std::move(serialDirectory)),
      m_deviceDirectory(std::move(deviceDirectory)), m_file(new QLineEdit(this)),
      m_browse(new QPushButton(tr("&Browse..."), this)), m_operator(new QLineEdit(this)),
      m_slots(new QListWidget(this)), m_rescan(new QPushButton(tr("&Look for adapters again"), this)),
      m_start(new QPushButton(tr("&Start"), this)), m_problem(new QLabel(this)) {
    m_file->setPlaceholderText(tr("The work order (.json) or set file (.asv) to program"));
    m_operator->setPlaceholderText(tr("Type or scan the operator's id"));
    m_browse->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_browse->setToolTip(tr("Choose the work order or set file (Ctrl+O)"));
    m_rescan->setShortcut(QKeySequence(Qt::Key_F5));
    m_start->setDefault(true);
    m_start->setAutoDefault(true);
    m_slots->setAccessibleName(tr("Slots"));
    m_problem->setWordWrap(true);
    QPalette red = m_problem->palette();
    red.setColor(QPalette::WindowText, *qt2xx::logColorOf(qt2xx::kLogRed));
    m_problem->setPalette(red);
    m_problem->hide();

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(m_browse);
    auto* form = new QFormLayout;
    auto* fileLabel = new QLabel(tr("Order or set &file:"), this);
    fileLabel->setBuddy(m_file);
    auto* operatorLabel = new QLabel(tr("&Operator:"), this);
    operatorLabel->setBuddy(m_operator);
    form->addRow(fileLabel, fileRow);
    form->addRow(operatorLabel, m_operator);
    auto* slotsLabel = new QLabel(tr("S&lots (Space ticks or unticks a slot):"), this);
    slotsLabel->setBuddy(m_slots);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_rescan);
    buttons->addStretch(1);
    buttons->addWidget(m_start);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(slotsLabel);
    layout->addWidget(m_slots, 1);
    layout->addWidget(m_problem);
    layout->addLayout(buttons);

    connect(m_browse, &QPushButton::clicked, this, &StartPage::browse);
    connect(m_rescan, &QPushButton::clicked, this, &StartPage::refresh);
    connect(m_file, &QLineEdit::textChanged, this, &StartPage::check);
    connect(m_slots, &QListWidget::itemChanged, this, &StartPage::check);
    connect(m_file, &QLineEdit::returnPressed, m_start, &QPushButton::click);
    connect(m_operator, &QLineEdit::returnPressed, m_start, &QPushButton::click);
    connect(m_start, &QPushButton::clicked, this, [this] {
        if (!m_start->isEnabled())
            return;
        remember();
        Q_EMIT startRequested();
    });

    m_file->setText(QSettings().value(kSetFileKey).toString());
    refresh();
}

void StartPage::refresh() {
    const QStringList chosen =
        m_slots->count() > 0 ? chosenPorts() : QSettings().value(kSlotsKey).toStringList();
    const QSignalBlocker quiet(m_slots);
    m_slots->clear();
    for (const qt2xx::SerialDevice& device : qt2xx::ListSerialDevices(m_serialDirectory, m_deviceDirectory)) {
        QString text = slotName(device);
        text += device.number > 0 ? tr("  port %1").arg(device.number) : tr("  no port number");
        if (!device.description.isEmpty())
            text += QStringLiteral("  ") + device.description;
        auto* item = new QListWidgetItem(text, m_slots);
        item->setData(Qt::UserRole, slotName(device));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen.contains(slotName(device)) ? Qt::Checked : Qt::Unchecked);
    }
    if (m_slots->count() == 0)
        setProblem(tr("No serial adapter is connected."));
    else
        setProblem(QString());
    m_slots->setCurrentRow(0);
    check();
}

void StartPage::setOperator(const QString& id) {
    m_operator->setText(id);
}

void StartPage::setProblem(const QString& text) {
    m_problem->setText(text);
    m_problem->setVisible(!text.isEmpty());
}

QString StartPage::setFile() const {
    return m_file->text().trimmed();
}

QString StartPage::operatorId() const {
    return m_operator->text().trimmed();
}

QStringList StartPage::chosenPorts() const {
    QStringList ports;
    for (int i = 0; i < m_slots->count(); ++i) {
        if (m_slots->item(i)->checkState() == Qt::Checked)
            ports << m_slots->item(i)->data(Qt::UserRole).toString();
    }
    return ports;
}

void StartPage::browse() {
    const QString start = setFile().isEmpty() ? QString() : QFileInfo(setFile()).absolutePath();
    const QString file =
        QFileDialog::getOpenFileName(this, tr("Choose the work order or set file"), start,
                                     tr("Work orders and parameter sets (*.json *.asv);;All files (*)"));
    if (!file.isEmpty())
        m_file->setText(file);
}

void StartPage::remember() const {
    QSettings settings;
    settings.setValue(kSetFileKey, setFile());
    settings.setValue(kSlotsKey, chosenPorts());
}

void StartPage::check() {
    m_start->setEnabled(!setFile().isEmpty() && !chosenPorts().isEmpty());
}

} // namespace qt2xx::gang
