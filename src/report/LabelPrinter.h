#pragma once

#include "platform/core/Result.h"
#include "report/LabelAddress.h"
#include "report/LabelTemplate.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>

class QThread;

namespace qt2xx {

class RecordStore;

// Prints the labels waiting in a record database for one printer, oldest first, on a thread of its
// own: a printer that is away never holds up programming. Each job is claimed before it is sent and
// marked printed (with the print logged) after; a failed send gives it back and the worker backs off,
// longer each time up to a limit, then tries the oldest again. A job that was sent is never sent
// again, even when marking it fails for a while.
class LabelPrinter : public QObject {
    Q_OBJECT
public:
    struct Timing {
        std::chrono::milliseconds firstBackoff{500}; // after the first failed send
        std::chrono::milliseconds maxBackoff{10000};
        std::chrono::milliseconds idlePoll{1000}; // how often an empty queue is read again
        std::chrono::milliseconds sendTimeout{5000};
    };

    LabelPrinter(QString databasePath, LabelAddress printer, LabelTemplate zpl, QObject* parent = nullptr);
    LabelPrinter(QString databasePath, LabelAddress printer, LabelTemplate zpl, Timing timing,
                 QObject* parent = nullptr);
    // Stops after the label in hand.
    ~LabelPrinter() override;

    const LabelAddress& printer() const { return m_printer; }
    // A label was queued: look now rather than at the next poll. Any thread; connect it to
    // RecordWriter::committed.
    void nudge();

Q_SIGNALS:
    void labelPrinted(const QString& recordId, const QString& serial, qint64 waiting);
    // The printer did not take the oldest label: how many wait for it, and why. waiting is -1 when the
    // record database itself cannot be read.
    void labelWaiting(qint64 waiting, const QString& reason);

private:
    void work();
    // Sleeps for at most the time, or until stopped (or nudged, when a nudge may end it).
    void pause(std::chrono::milliseconds time, bool nudgeEnds);
    bool stopping() const;

    const QString m_path;
    const LabelAddress m_printer;
    const LabelTemplate m_zpl;
    const Timing m_timing;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_nudged = false;
    QThread* m_thread = nullptr;
};

// Prints the unit's label again from its latest finished record (of the order, when one is named)
// and logs the reprint with who and where asked for it. Blocks while it sends.
Done PrintLabelAgain(RecordStore& store, const QString& serial, const QString& order,
                     const LabelAddress& printer, const LabelTemplate& zpl, const QString& operatorId,
                     const QString& station,
                     std::chrono::milliseconds timeout = LabelPrinter::Timing{}.sendTimeout);

} // namespace qt2xx
