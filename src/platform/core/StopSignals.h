#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace qt2xx {

// SIGINT and SIGTERM as a Qt signal: the handler only writes a byte to a pipe, and the event loop
// reads it, so a stop runs as any other event. One per program.
class StopSignals : public QObject {
    Q_OBJECT
public:
    enum class BrokenPipe {
        Default, // SIGPIPE ends the program
        Ignore,  // a reader that goes away shows as a failed write instead
    };

    explicit StopSignals(BrokenPipe brokenPipe = BrokenPipe::Default, QObject* parent = nullptr);
    ~StopSignals() override; // the signals' default handling comes back

    // False when the pipe could not be made; the signals then keep their default handling.
    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void stopRequested(int signal);

private:
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace qt2xx
