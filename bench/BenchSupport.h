#pragma once

// Stand-ins shared by the benchmarks: a window whose Timer1 is a real timer, and a shown log box.

#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/MessageBox.h"
#include "platform/widgets/RichTextBox.h"
#include "ui/StatusLogBox.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>

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

// The real status log in a shown box, counting every message on its way in.
class CountingLog : public StatusLog {
public:
    explicit CountingLog(RichTextBox& box) : m_log(box) {}

    void ReceiveDisplay(const QString& strAdd, int intColor) override {
        m_log.ReceiveDisplay(strAdd, intColor);
        counts[strAdd] += 1;
        colors[strAdd] = intColor;
        onMessage(strAdd, intColor);
    }

    QHash<QString, int> counts;
    QHash<QString, int> colors;
    std::function<void(const QString&, int)> onMessage = [](const QString&, int) {};

private:
    StatusLogBox m_log;
};

// Counts the boxes that would have stopped an unattended run, and says what they said.
class CountingMessageBox : public MessageBox {
public:
    void show(const QString& text, const QString& informative) override {
        ++shown;
        std::printf("message box: %s %s\n", qPrintable(text), qPrintable(informative));
    }
    int shown = 0;
};

} // namespace qt2xx::bench
