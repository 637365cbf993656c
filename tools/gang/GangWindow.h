#pragma once

#include "gang/GangOptions.h"
#include "gang/SlotTile.h"
#include "station/FixtureDriver.h"
#include "station/StationSession.h"

#include <QDateTime>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace qt2xx {
class StationPort;
} // namespace qt2xx

namespace qt2xx::gang {

class StartPage;

// The gang fixture's window: a header with the run's figures, one tile per slot and the scan field,
// over a station session. Everything it shows comes from the station; it keeps no counts of its own
// beyond what it shows of earlier runs.
class GangWindow : public QWidget {
    Q_OBJECT
public:
    // The serial devices of the start page are listed from these folders.
    explicit GangWindow(GangOptions options, QString serialDirectory = QStringLiteral("/dev/serial"),
                        QString deviceDirectory = QStringLiteral("/dev"), QWidget* parent = nullptr);
    ~GangWindow() override;

    // Opens the set, the record and the ports and starts at once; a refusal is shown on the start
    // page. False when it was refused.
    bool begin(const qt2xx::SessionOptions& session);
    // The exit status of the program when the window has closed, as the station's.
    int exitStatus() const;

    // A scanner's text and Enter: arms the slot that takes the next scan. With a set file every slot
    // seeks at once and nothing waits for a scan.
    void scanEntered(const QString& text);

    StartPage* startPage() const { return m_startPage; }
    const std::vector<SlotTile*>& tiles() const { return m_tiles; }
    QLineEdit* scanField() const { return m_scan; }
    QPushButton* startButton() const { return m_startButton; }
    QPushButton* stopButton() const { return m_stopButton; }
    QString headerText() const; // every figure of the header, for a reader and a test
    QString recordsText() const;
    qt2xx::StationSession& session() { return m_session; }
    qt2xx::FixtureDriver* fixture() const { return m_fixture.get(); }
    bool running() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Slot {
        qt2xx::PortChoice choice;
        qt2xx::StationPort* port = nullptr;
        QString problem;                                // why the port did not open
        std::vector<const qt2xx::StationPort*> earlier; // the slot's ports of the runs before this one
        QDateTime unitBegan;                            // when the controller of its unit answered
        QDateTime unitEnded;                            // when that unit ended; null while under way
        QString dropped; // why the slot's serial was dropped, until the slot is armed again
    };

    QWidget* buildRunPage();
    QWidget* buildHeader();
    void fromStartPage();
    bool startRun();
    void stopRun();
    void buildTiles();
    void bindStation();
    void bindRun();
    void showDropped(const QString& device, const QString& serial, bool dropped);
    void markAll();
    void onStopped();
    void markDirty(int slot);
    void repaintDirty();
    SlotView viewOf(int slot) const;
    static int elapsedTenths(const Slot& slot, SlotState state);
    void refreshHeader();
    void refreshRecords();
    void refreshLabels();
    void refreshPlant();
    void dropUnopenedPorts();
    void setControls(); // the one place that enables Start and Stop
    void showNotice(const qt2xx::SessionNotice& notice);
    void showRunNotice(const QString& text);
    void showScanNote(const QString& text);
    void refuseScan(const QString& text);
    bool openFixture(const qt2xx::SessionOptions& session);
    void showFixture(const QString& away);

    GangOptions m_options;
    qt2xx::StationSession m_session;
    std::unique_ptr<qt2xx::FixtureDriver> m_fixture; // after the session, whose station it reads
    bool m_opened = false;
    bool m_closing = false;
    bool m_finished = false; // the session's last records have been waited for
    int m_refusedStatus = 0;

    QStackedWidget* m_pages;
    StartPage* m_startPage;
    QWidget* m_runPage = nullptr;
    QLabel* m_order = nullptr;
    QLabel* m_set = nullptr;
    QLabel* m_operator = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_progressText = nullptr;
    QLabel* m_totals = nullptr;
    QLabel* m_records = nullptr;
    QLabel* m_notices = nullptr;
    QLabel* m_plant = nullptr;        // the order in the plant and the rules in force
    QLabel* m_labels = nullptr;       // shown when labels are printed
    QLabel* m_fixtureState = nullptr; // shown while the fixture's I/O module does not answer
    QWidget* m_grid = nullptr;
    QGridLayout* m_gridLayout = nullptr;
    QLineEdit* m_scan = nullptr;
    QLabel* m_scanNote = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_closeButton = nullptr;

    std::vector<Slot> m_slots;
    std::vector<SlotTile*> m_tiles;
    QSet<int> m_dirty;
    QTimer m_repaint; // coalesces the slots' changes into at most ten repaints a second
    QTimer m_scanNoteTimer;
    QTimer m_elapsedTick; // the seconds of the units under way go on while their progress stalls
    QStringList m_runNotices;
};

} // namespace qt2xx::gang
