#pragma once

#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"

#include <QList>
#include <QTimer>

#include <array>

namespace qt2xx::test {

// The window as the sequencer sees it. With a live timer, enabling Timer1 runs a real QTimer of
// kTickInterval that calls onTick; otherwise the test makes every tick itself.
class FakeWindow : public TransmitWindow {
public:
    explicit FakeWindow(Qt::TimerType timerType = Qt::CoarseTimer) {
        for (int i = 0; i < kParameterCount; ++i)
            combos[i] = ParameterTable()[i].choices.front();
        timer.setTimerType(timerType);
        timer.setInterval(kTickInterval);
    }

    QString comboText(int index) const override {
        ++comboReads;
        return combos[index];
    }
    QString portBoxText() const override { return portBox; }
    void setFileSendCaption(const QString& caption) override { this->caption = caption; }
    void setControlsEnabled(bool enabled) override { controlsEnabled = enabled; }
    bool indicatorEnabled() const override { return indicator; }
    void setIndicatorEnabled(bool enabled) override { indicator = enabled; }
    void setProgressValue(float value) override { progress = value; }
    void setTimerEnabled(bool enabled) override {
        timerSwitches.append(enabled);
        timerEnabled = enabled;
        if (liveTimer && enabled)
            timer.start();
        else
            timer.stop();
    }

    std::array<QString, kParameterCount> combos;
    QString portBox = QStringLiteral("1");
    mutable int comboReads = 0;
    QString caption = kStartTransmit;
    bool controlsEnabled = true;
    bool indicator = true;
    float progress = 0;
    bool timerEnabled = false;
    QList<bool> timerSwitches;
    bool liveTimer = false;
    QTimer timer;
};

} // namespace qt2xx::test
