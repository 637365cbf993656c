#pragma once

#include "link/TransmitWindow.h"
#include "platform/core/MessageBox.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

namespace qt2xx::test {

struct LogLine {
    QString text;
    LogColor color = kLogBlue;
    bool operator==(const LogLine&) const = default;
};

// Keeps every line the status log is given, in order.
class RecordingLog : public StatusLog {
public:
    void ReceiveDisplay(const QString& strAdd, LogColor intColor) override {
        lines.append({strAdd, intColor});
    }
    QStringList texts() const;
    QList<LogLine> lines;
};

// Counts the lines by text and by colour on their way to another log, if any, and tells onMessage.
class CountingLog : public StatusLog {
public:
    explicit CountingLog(StatusLog* forward = nullptr) : m_forward(forward) {}
    void ReceiveDisplay(const QString& strAdd, LogColor intColor) override;

    QHash<QString, int> counts;
    QHash<QString, LogColor> colors; // the colour each text came with last
    int redCount = 0;
    std::function<void(const QString&, LogColor)> onMessage = [](const QString&, LogColor) {};

private:
    StatusLog* m_forward;
};

struct ShownBox {
    QString text;
    QString informative;
    bool operator==(const ShownBox&) const = default;
};

// Keeps every message box instead of showing it.
class RecordingMessageBox : public MessageBox {
public:
    void show(const QString& text, const QString& informative = QString()) override {
        shown.append({text, informative});
    }
    QStringList texts() const;
    QList<ShownBox> shown;
};

} // namespace qt2xx::test
