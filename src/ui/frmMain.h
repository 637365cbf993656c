#pragma once

#include "files/FileCommands.h"
#include "link/TransmitWindow.h"
#include "params/FrameEncoder.h"
#include "params/ParameterTable.h"
#include "params/ParameterValues.h"
#include "platform/core/SerialPort.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace qt2xx {

class DownloadSequencer;
class FileDialog;
class MessageBox;
class RecordWriter;
class Forwarder;
class RunRecorder;
class RichTextBox;
class StatusLogBox;

// The program's one window. It holds every control, the serial port, the tick timer, the file dialog
// and the state that outlives one event, and hands each event to the procedure that handles it.
class frmMain : public QMainWindow, public TransmitWindow, public ParameterLists {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    // With the message boxes and the file dialog played by stand-ins.
    frmMain(std::unique_ptr<MessageBox> messages, std::unique_ptr<FileDialog> dialog,
            QWidget* parent = nullptr);
    ~frmMain() override;

    void cmdShow_Click();

    // From now on every controller's outcome is kept through the writer, which must outlive the
    // window; a write that fails, and the first that succeeds again, are told in the log. The
    // operator and station given on the command line go into every record.
    void attachRecorder(RecordWriter& writer, const QString& operatorId = QString(),
                        const QString& station = QString());
    // The records also go to a central server; when forwarding stops, and when it goes on again,
    // the log says so. The forwarder must outlive the window.
    void attachForwarder(Forwarder& forwarder);

    // The window's public procedures.
    void CommPortOpen_Close();
    void ReceiveDisplay(const QString& strAdd, LogColor intColor);

    // What the port connection, the sequencer and the file commands read and set.
    QString comboText(int index) const override;
    QString portBoxText() const override;
    void setFileSendCaption(const QString& caption) override;
    void setControlsEnabled(bool enabled) override;
    bool indicatorEnabled() const override;
    void setIndicatorEnabled(bool enabled) override;
    void setProgressValue(float value) override;
    void setTimerEnabled(bool enabled) override;
    void selectChoice(int index, int choice) override;
    void setLoadDirText(const QString& path) override;
    void setSaveDirText(const QString& path) override;

    QAction* OpenFile() const { return m_openFile; }
    QAction* StoreFile() const { return m_storeFile; }
    bool expanded() const { return m_expanded; }
    CommFlag intCommFlag() const;
    const QString& strFileDirectary() const;
    const StatusLogBox& statusLog() const { return *m_log; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void Form_Load();
    void buildMenu();
    void menuBarByKeyboard();
    void wireEvents();
    QWidget* makeStatusLog(QWidget* parent);

    void setOuterWidth(int twips);
    void setOuterHeight(int twips);
    void applyOuterSize();
    QSize frameSize() const;
    void centreOnScreen();

    void buildControls();

    ParameterValues m_values{};
    DownloadFrame m_frame{};
    std::unique_ptr<MessageBox> m_messages;
    std::unique_ptr<FileDialog> m_dialog;
    // The controls the window drives, made from the layout table.
    QPushButton* m_cmdShow = nullptr;
    QLineEdit* m_txtLoadDir = nullptr;
    QLineEdit* m_txtSaveDir = nullptr;
    QComboBox* m_cboComPort = nullptr;
    QPushButton* m_cmdFileSend = nullptr;
    QLabel* m_indicator = nullptr; // Label1(0)
    QProgressBar* m_prgFileTransfer = nullptr;
    QWidget* m_Frame10 = nullptr;
    std::array<QComboBox*, kParameterCount> m_Combo1{};
    RichTextBox* m_richTextBox = nullptr;
    std::unique_ptr<StatusLogBox> m_log;
    SerialPort m_ctrMSComm;
    std::unique_ptr<DownloadSequencer> m_sequencer;
    std::unique_ptr<FileCommands> m_files;
    std::unique_ptr<RunRecorder> m_recorder; // after the sequencer, so it goes first
    QTimer m_Timer1;
    QAction* m_openFile = nullptr;
    QAction* m_storeFile = nullptr;

    bool m_expanded = false;
    // The outer size asked for. Until the first conceal the width is the one that gives the laid-out
    // client width instead.
    std::optional<int> m_outerWidthTwips;
    int m_outerHeightTwips = 0;
    QSize m_appliedFrame;
    bool m_shown = false;
    bool m_centredWithFrame = false;
};

} // namespace qt2xx
