#pragma once

#include "files/SetFile.h"
#include "forward/ClaimClient.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace qt2xx {

// A work order as the production engineer releases it: which set, checked by its hash, how many
// units, and what their serials look like.
struct WorkOrder {
    QString orderId;                     // "WO-2026-0142"
    QString product;                     // empty when the order names none
    QString setPath;                     // absolute; a relative "set" is taken from the order file's folder
    QString setSha256;                   // lower-case hex, equal to the set's parameter_sha256
    int quantity = 0;                    // at least 1
    QString serialPattern;               // as written; empty when the order has none
    QRegularExpression serialExpression; // the pattern anchored at both ends: a serial matches whole
    SetFile set;                         // the set the order pins, ready
    QString labelPath; // the label template, absolute like setPath; empty: the default label
    OfflineRule offline = OfflineRule::Stop; // what the bench does while the record server is away

    bool wantsSerials() const { return !serialPattern.isEmpty(); }
    bool matchesSerial(const QString& serial) const { return serialExpression.match(serial).hasMatch(); }
};

struct WorkOrderFile {
    WorkOrder order;
    QString problem; // one line, why the file gives no order; empty when it does

    bool ready() const { return problem.isEmpty(); }
};

// Reads the order, then the set it names, and checks that the set is the one released.
WorkOrderFile ReadWorkOrder(const QString& path);

} // namespace qt2xx
