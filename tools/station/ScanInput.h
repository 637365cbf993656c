#pragma once

#include "station/OrderRun.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <deque>
#include <functional>

namespace qt2xx::station {

// Serials from a file descriptor, one per line, handed to the run only while it wants a scan: a
// script may pipe all its serials at once and each goes to the next port that frees. The end of the
// input, once every line read has been handed on, is the run's end of input. A line is kept up to
// kScanLineMaxBytes: the rest of a longer one is counted, not held, and the line is refused once.
class ScanInput : public QObject {
public:
    ScanInput(qt2xx::OrderRun& run, int fd);
    // Told of each scan the run refused.
    std::function<void(const qt2xx::ScanArbiter::Scan&)> onRefused;

private:
    void pump();
    void readSome();
    void append(QByteArrayView bytes);

    qt2xx::OrderRun& m_run;
    int m_fd;
    QSocketNotifier m_notifier;
    // Lines read and not yet handed on, each cut to at most kScanLineMaxBytes + 1 bytes, the last
    // perhaps without its line end.
    QByteArray m_buffer;
    // The whole lengths of the lines cut in m_buffer, in their order.
    std::deque<qsizetype> m_cutLengths;
    qsizetype m_lineSoFar = 0; // bytes read of the line without its end yet, kept or not
    bool m_ended = false;
};

} // namespace qt2xx::station
