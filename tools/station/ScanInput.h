#pragma once

#include "station/OrderRun.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace qt2xx::station {

// Serials from a file descriptor, one per line, handed to the run only while it wants a scan: a
// script may pipe all its serials at once and each goes to the next port that frees. The end of the
// input, once every line read has been handed on, is the run's end of input.
class ScanInput : public QObject {
public:
    ScanInput(qt2xx::OrderRun& run, int fd);
    // Told of each scan the run refused.
    std::function<void(const qt2xx::ScanArbiter::Scan&)> onRefused;

private:
    void pump();
    void readSome();

    qt2xx::OrderRun& m_run;
    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_buffer;
    bool m_ended = false;
};

} // namespace qt2xx::station
