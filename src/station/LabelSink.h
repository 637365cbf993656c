#pragma once

#include "platform/core/Result.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace qt2xx {

// The printer of a session's labels as the session sees it. A program that prints labels links the
// label library, which makes these; the core knows no more of labels than this, so it needs no Qt Gui.
class LabelSink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The printer's address as given: the writer queues each finished record's label under it.
    virtual QString printer() const = 0;
    // A label was queued: print it now rather than at the next look. Any thread.
    virtual void nudge() = 0;

Q_SIGNALS:
    void labelPrinted(const QString& recordId, const QString& serial, qint64 waiting);
    // The printer did not take the oldest label; waiting is -1 when the queue cannot be read.
    void labelWaiting(qint64 waiting, const QString& reason);
};

// What a session asks of the label library: the printer, the template and the database whose queue
// it prints.
struct LabelRequest {
    QString printer;      // --label-printer as given
    QString templatePath; // empty: the default label
    QString databasePath;
};

// Makes the printer, or says in one line which part of the request cannot be used.
using LabelSinkFactory = std::function<Result<std::unique_ptr<LabelSink>>(const LabelRequest&)>;

} // namespace qt2xx
