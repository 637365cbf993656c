#pragma once

#include "forward/ClaimClient.h"
#include "station/ScanArbiter.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace qt2xx {

class RecordStore;
class Station;
class StationPort;
struct PortEvent;
struct WorkOrder;

// What a run is asked to make: for which order, with or without scanned serials, and how many units
// at most in this run.
struct OrderPlan {
    QString orderId; // empty: no order
    QString product;
    QString setSha256;
    int quantity = 0;                        // of the order
    QString serialPattern;                   // as the order gives it
    bool scan = false;                       // each unit is armed by a scanned serial
    bool rework = false;                     // a serial with a finished record may be scanned again
    int count = 0;                           // at most this many units in this run; 0: no limit
    OfflineRule offline = OfflineRule::Stop; // while the record server cannot be asked

    // The order's terms, scanned when the order has serials; the run's own choices stay as above.
    static OrderPlan FromOrder(const WorkOrder& order);
    // The order as every bench must agree on it with the record server.
    ClaimTerms terms() const { return ClaimTerms{orderId, product, setSha256, quantity, serialPattern}; }
};

// How a scan that passes the bench's own rules arms its slot.
enum class ClaimGate {
    Open,   // at once: no plant to ask, or the server is away and the order goes on by this bench
    Ask,    // once the plant grants a claim on the unit; the slot is checking meanwhile
    Closed, // not at all: the server is away and the order stops; the scan is refused with the reason
};

// Drives a station by a work order and the scan rules, the same for every face of the station. The
// order's progress is what the database held at the start plus the units finished in this run; the
// station begins no more units than the order still needs. Scanned, each port waits for a serial,
// one accepted scan arms the next waiting port in turn for one unit, and the station stops once the order
// is complete or the scans have ended and every armed unit has ended.
class OrderRun : public QObject {
    Q_OBJECT
public:
    // store reads the progress and the finished serials, on this thread; null when no record is kept.
    OrderRun(Station& station, OrderPlan plan, RecordStore* store, QObject* parent = nullptr);
    ~OrderRun() override;

    // Before the station starts: reads the order's progress, notes the order in the database and
    // marks the ports that wait for serials. False with a lowercase reason when the database cannot
    // be read.
    bool prepare(QString* error);
    // The order needs no more units: nothing should be started.
    bool complete() const;
    // Once the station has started its ports: the slots are the ports that opened, in their order.
    void started();

    // A scanned line; an accepted serial arms its slot's port, which then seeks.
    ScanArbiter::Scan scan(const QString& line);
    // The same from bytes, as standard input delivers them; lineBytes as for SerialFromBytes.
    ScanArbiter::Scan scanBytes(QByteArrayView line, qsizetype lineBytes = -1);
    // No more scans: armed ports finish their units, then the station stops.
    void endOfInput();

    // Claims are asked through claims (owned by the caller, outliving the run) while the gate is
    // Ask; set before started().
    void setClaims(ClaimClient* claims);
    void setGate(ClaimGate gate, const QString& reason = QString());
    ClaimGate gate() const { return m_gate; }
    // Slots whose scan waits for the plant's answer.
    int checkingCount() const { return int(m_asked.size()); }

    const OrderPlan& plan() const { return m_plan; }
    bool scanning() const { return m_plan.scan; }
    // Whether a scan is wanted now: a port waits and the order still needs units, or no slot is
    // armed and none is ready, so that a scan would be refused at once.
    bool wantsInput() const;
    int nextSlot() const; // 0 when no scan can arm a slot now
    StationPort* portOfSlot(int slot) const;
    int unitsDone() const { return m_before + m_done; } // units finished for the order so far
    int unitsBefore() const { return m_before; }

Q_SIGNALS:
    // A port was armed with a serial.
    void armed(int slot, const QString& device, const QString& serial);
    // A slot dropped its serial: its unit was taken out before programming (StationPort::scanDropped).
    void scanDropped(int slot, const QString& device, const QString& serial);
    // A scan the bench's rules took was refused by the plant, or while the plant cannot be asked;
    // the slot takes scans again. Without serials, the serial is empty: the plant refused the next
    // unit, and the station stops once nothing of its own is under way.
    void scanRefused(const QString& serial, const QString& reason);
    // Something that changes which slot takes the next scan, or the progress; told after the handler
    // that changed it has returned, so the ports that ended a unit have paused.
    void changed();

private:
    int runLimit() const; // the units this run may begin at most, kNoLimit when unbounded
    int made() const;     // units of this run finished or finished and waiting for their record
    ScanArbiter::Scan take(const ScanArbiter::Scan& scan);
    void onUnitEnded(int slot, const PortEvent& event);
    void onEvent(const PortEvent& event);
    void markOffline(int slot);
    int slotOf(const QString& device) const; // 0 when no port has the device
    void tellLater();
    void checkDone();
    void askClaim(int slot, const QString& serial, bool rework);
    void onGranted(quint64 ticket);
    void onRefused(quint64 ticket, const QString& reason);
    void onUnanswered(quint64 ticket, const QString& reason);
    void armPort(int slot, const QString& serial, bool rework);
    void releaseClaims();
    void endSlotClaim(int slot, bool release);
    // Without serials each port holds a claim before it seeks, and asks the next once its unit ends.
    void fillUnitClaims();
    void askUnit(int slot);
    void holdPort(StationPort& port);
    void unitBegan(int slot);
    void unitClaimEnded(int slot, const PortEvent& event);

    // A claim asked for a slot: the run and unit the claim is known by on the server.
    struct Asked {
        int slot = 0;
        QString serial;
        bool rework = false;
        int unit = 0;
    };

    Station& m_station;
    OrderPlan m_plan;
    RecordStore* m_store;
    std::unique_ptr<ScanArbiter> m_arbiter;
    // Serials finished in this run, before their records may be committed.
    QSet<QString> m_finishedHere;
    int m_before = 0;
    int m_done = 0;
    bool m_telling = false;
    ClaimClient* m_claims = nullptr;
    ClaimGate m_gate = ClaimGate::Open;
    QString m_gateReason;
    QString m_claimRun;            // names this run's claims on the server
    int m_claimUnits = 0;          // claims asked so far
    QHash<quint64, Asked> m_asked; // by ticket, until answered
    QHash<int, int> m_slotClaims;  // slot -> claim unit, while its unit is to be made or under way
    // Without serials: each port's claim, by slot less one.
    struct UnitClaim {
        enum class State { None, Asking, Held, InUse };
        State state = State::None;
        int unit = 0;
    };
    std::vector<UnitClaim> m_unitClaims;
};

} // namespace qt2xx
