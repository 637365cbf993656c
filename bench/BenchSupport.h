#pragma once

// Stand-ins shared by the benchmarks: a window whose Timer1 is a real timer, and a shown log box.

#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/widgets/RichTextBox.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

namespace qt2xx::bench {

// Every list shows its first choice; the timer ticks for real while the sequencer keeps it on.
class TimedWindow : public TransmitWindow {
public:
    explicit TimedWindow(Qt::TimerType type = Qt::PreciseTimer) {
        timer.setTimerType(type);
        timer.setInterval(kTickInterval);
    }
    QString comboText(int index) const override { return ParameterTable()[index].choices.front(); }
    QString portBoxText() const override { return portBox; }
    void setFileSendCaption(const QString&) override {}
    void setControlsEnabled(bool) override {}
    bool indicatorEnabled() const override { return m_indicator; }
    void setIndicatorEnabled(bool enabled) override { m_indicator = enabled; }
    void setProgressValue(float) override {}
    void setTimerEnabled(bool enabled) override {
        if (enabled)
            timer.start();
        else
            timer.stop();
    }

    QString portBox;
    QTimer timer;

private:
    bool m_indicator = true;
};

// A shown window with a log box of the size the main window gives it.
struct LogWindow {
    QWidget window;
    RichTextBox* box = new RichTextBox(&window);

    LogWindow() {
        box->setGeometry(0, 0, 185, 81);
        window.resize(200, 100);
        window.show();
        QCoreApplication::processEvents();
    }
};

} // namespace qt2xx::bench
