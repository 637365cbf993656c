#include "station/OrderRun.h"

#include "record/RecordStore.h"
#include "station/Station.h"
#include "station/WorkOrder.h"

#include <QDateTime>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <utility>

namespace qt2xx {

OrderPlan OrderPlan::FromOrder(const WorkOrder& order) {
    OrderPlan plan;
    plan.orderId = order.orderId;
    plan.product = order.product;
    plan.setSha256 = order.setSha256;
    plan.quantity = order.quantity;
    plan.serialPattern = order.serialPattern;
    plan.scan = order.wantsSerials();
    plan.offline = order.offline;
    return plan;
}

OrderRun::OrderRun(Station& station, OrderPlan plan, RecordStore* store, QObject* parent)
    : QObject(parent), m_station(station), m_plan(std::move(plan)), m_store(store) {}

// Claims this run will not use end now rather than with their lease.
OrderRun::~OrderRun() {
    releaseClaims();
}

bool OrderRun::prepare(QString* error) {
    if (!m_plan.orderId.isEmpty() && m_store) {
        const Result<qint64> finished = m_store->unitsFinished(m_plan.orderId);
        if (!finished) {
            *error = QStringLiteral("the progress of order %1 cannot be read: %2")
                         .arg(m_plan.orderId, finished.error());
            return false;
        }
        m_before = int(std::min<qint64>(*finished, m_plan.quantity));
        const OrderInfo info{m_plan.orderId, m_plan.product, m_plan.setSha256, m_plan.quantity,
                             QDateTime::currentDateTimeUtc()};
        if (const Done noted = m_store->noteOrder(info); !noted) {
            *error = QStringLiteral("order %1 cannot be noted in the records: %2")
                         .arg(m_plan.orderId, noted.error());
            return false;
        }
    }
    const int limit = runLimit();
    m_station.setCount(limit == ScanArbiter::kNoLimit ? 0 : limit);
    for (const auto& port : m_station.ports())
        port->setScanned(m_plan.scan);
    return true;
}

bool OrderRun::complete() const {
    return runLimit() == 0;
}

int OrderRun::runLimit() const {
    int limit = ScanArbiter::kNoLimit;
    if (!m_plan.orderId.isEmpty())
        limit = std::max(0, m_plan.quantity - m_before);
    if (m_plan.count > 0)
        limit = std::min(limit, m_plan.count);
    return limit;
}

int OrderRun::made() const {
    return m_station.finished() + m_station.unconfirmed();
}

void OrderRun::started() {
    const auto& ports = m_station.ports();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        StationPort* port = ports[i].get();
        const int slot = int(i) + 1;
        connect(port, &StationPort::unitEnded, this,
                [this, slot](const PortEvent& event) { onUnitEnded(slot, event); });
        connect(port, &StationPort::removeUnit, this, &OrderRun::tellLater);
        connect(port, &StationPort::unitRemoved, this, &OrderRun::tellLater);
        connect(port, &StationPort::contactMoved, this, &OrderRun::tellLater);
        connect(port, &StationPort::scanDropped, this,
                [this, slot](const QString& device, const QString& serial) {
                    // No unit was made under the serial: its claim is free for any bench at once.
                    endSlotClaim(slot, true);
                    if (m_arbiter)
                        m_arbiter->unitEnded(slot);
                    checkDone();
                    Q_EMIT scanDropped(slot, device, serial);
                });
    }
    connect(&m_station, &Station::event, this, &OrderRun::onEvent);
    if (m_claims) {
        connect(m_claims, &ClaimClient::granted, this, [this](quint64 ticket) { onGranted(ticket); });
        connect(m_claims, &ClaimClient::refused, this, &OrderRun::onRefused);
        connect(m_claims, &ClaimClient::unanswered, this, &OrderRun::onUnanswered);
        connect(&m_station, &Station::stopped, this, &OrderRun::releaseClaims);
    }
    if (m_claims && !m_plan.scan) {
        m_unitClaims.assign(ports.size(), UnitClaim{});
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const int slot = int(i) + 1;
            connect(ports[i].get(), &StationPort::unitEnded, this,
                    [this, slot](const PortEvent& event) { unitClaimEnded(slot, event); });
        }
        fillUnitClaims();
    }
    if (m_plan.scan) {
        const auto finished = [this](const QString& serial) {
            if (m_finishedHere.contains(serial))
                return true;
            const Result<bool> before = m_store ? m_store->serialFinished(serial) : Result<bool>(false);
            return before && *before;
        };
        m_arbiter = std::make_unique<ScanArbiter>(int(ports.size()), m_plan.serialPattern, finished,
                                                  m_plan.rework, runLimit());
        // A slot whose unit ended takes the next serial only once the unit has been taken out,
        // unless it is that unit's own serial, scanned to try it again.
        m_arbiter->setSlotReady([this](int slot) {
            const StationPort* port = portOfSlot(slot);
            return port && port->takesScan();
        });
        m_arbiter->setSlotEmpty([this](int slot) {
            const StationPort* port = portOfSlot(slot);
            return port && port->waitsForUnit();
        });
        m_arbiter->setSlotOfUnit([this](const QString& serial) {
            const auto& ports = m_station.ports();
            for (std::size_t i = 0; i < ports.size(); ++i) {
                if (ports[i]->watching() && ports[i]->serial().isEmpty() &&
                    ports[i]->watchedSerial() == serial)
                    return int(i) + 1;
            }
            return 0;
        });
    }
    tellLater();
}

ScanArbiter::Scan OrderRun::scan(const QString& line) {
    return m_arbiter ? take(m_arbiter->scan(line)) : ScanArbiter::Scan();
}

ScanArbiter::Scan OrderRun::scanBytes(QByteArrayView line, qsizetype lineBytes) {
    return m_arbiter ? take(m_arbiter->scanBytes(line, lineBytes)) : ScanArbiter::Scan();
}

ScanArbiter::Scan OrderRun::take(const ScanArbiter::Scan& result) {
    if (result.outcome != ScanArbiter::Outcome::Armed)
        return result;
    if (m_gate == ClaimGate::Closed) {
        m_arbiter->unitEnded(result.slot);
        ScanArbiter::Scan refused = result;
        refused.outcome = ScanArbiter::Outcome::Refused;
        refused.slot = 0;
        refused.reason = m_gateReason;
        tellLater();
        return refused;
    }
    if (m_gate == ClaimGate::Ask && m_claims)
        askClaim(result.slot, result.serial, result.rework);
    else
        armPort(result.slot, result.serial, result.rework);
    return result;
}

void OrderRun::armPort(int slot, const QString& serial, bool rework) {
    StationPort* port = portOfSlot(slot);
    port->arm(serial, rework);
    Q_EMIT armed(slot, port->device(), serial);
    m_station.rebalance();
    tellLater();
}

void OrderRun::setClaims(ClaimClient* claims) {
    m_claims = claims;
    m_claimRun = QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void OrderRun::setGate(ClaimGate gate, const QString& reason) {
    m_gate = gate;
    m_gateReason = reason;
    if (!m_unitClaims.empty())
        fillUnitClaims();
    tellLater();
}

// Under the plant's rules a port without a claim is held; the claims asked are at most the units
// this run may still begin. Under the bench's own rules every port goes.
void OrderRun::fillUnitClaims() {
    if (m_station.isStopped())
        return;
    using State = UnitClaim::State;
    const auto& ports = m_station.ports();
    if (m_gate == ClaimGate::Open) {
        for (const auto& port : ports)
            port->setHeld(false);
        m_station.rebalance();
        return;
    }
    int pending = 0;
    for (const UnitClaim& claim : m_unitClaims)
        pending += claim.state == State::None ? 0 : 1;
    const int limit = runLimit();
    for (std::size_t i = 0; i < m_unitClaims.size() && i < ports.size(); ++i) {
        if (m_unitClaims[i].state != State::None)
            continue;
        holdPort(*ports[i]);
        const bool needed = limit == ScanArbiter::kNoLimit || made() + pending < limit;
        if (m_gate == ClaimGate::Ask && needed) {
            askUnit(int(i) + 1);
            ++pending;
        }
    }
}

// A port that seeks pauses once the handler that may be telling its unit has returned.
void OrderRun::holdPort(StationPort& port) {
    port.setHeld(true);
    QTimer::singleShot(0, &port, [&port] {
        if (port.held() && port.running() && !port.busy())
            port.stop(false);
    });
}

void OrderRun::askUnit(int slot) {
    const int unit = ++m_claimUnits;
    const quint64 ticket = m_claims->claim(ClaimRequest{QString(), m_plan.rework, m_claimRun, unit});
    m_asked.insert(ticket, Asked{slot, QString(), false, unit});
    m_unitClaims[std::size_t(slot - 1)] = UnitClaim{UnitClaim::State::Asking, unit};
}

// The slot's unit begins on the claim the slot holds.
void OrderRun::unitBegan(int slot) {
    if (slot <= int(m_unitClaims.size()) &&
        m_unitClaims[std::size_t(slot - 1)].state == UnitClaim::State::Held)
        m_unitClaims[std::size_t(slot - 1)].state = UnitClaim::State::InUse;
}

// A finished unit's claim is kept by the server until the unit's record ends it; one that did not
// finish frees it now.
void OrderRun::unitClaimEnded(int slot, const PortEvent& event) {
    UnitClaim& claim = m_unitClaims[std::size_t(slot - 1)];
    if (claim.state != UnitClaim::State::InUse)
        return;
    if (event.finished())
        m_claims->made(m_claimRun, claim.unit);
    else
        m_claims->release(m_claimRun, claim.unit);
    claim = UnitClaim{};
    fillUnitClaims();
}

// The slot holds the serial, so no other scan takes it, while the plant is asked; the port does
// not move until the answer.
void OrderRun::askClaim(int slot, const QString& serial, bool rework) {
    const int unit = ++m_claimUnits;
    const quint64 ticket = m_claims->claim(ClaimRequest{serial, m_plan.rework, m_claimRun, unit});
    m_asked.insert(ticket, Asked{slot, serial, rework, unit});
    portOfSlot(slot)->setCheckingSerial(serial);
    tellLater();
}

void OrderRun::onGranted(quint64 ticket) {
    const Asked asked = m_asked.take(ticket);
    if (asked.slot == 0)
        return;
    if (!m_unitClaims.empty()) {
        m_unitClaims[std::size_t(asked.slot - 1)] = UnitClaim{UnitClaim::State::Held, asked.unit};
        portOfSlot(asked.slot)->setHeld(false);
        m_station.rebalance();
        tellLater();
        return;
    }
    portOfSlot(asked.slot)->setCheckingSerial(QString());
    m_slotClaims.insert(asked.slot, asked.unit);
    armPort(asked.slot, asked.serial, asked.rework);
}

void OrderRun::onRefused(quint64 ticket, const QString& reason) {
    const Asked asked = m_asked.take(ticket);
    if (asked.slot == 0)
        return;
    if (!m_unitClaims.empty()) {
        m_unitClaims[std::size_t(asked.slot - 1)] = UnitClaim{};
        Q_EMIT scanRefused(QString(), reason);
        // The plant needs nothing more of this bench now: it ends once its own units have.
        const bool idle = std::all_of(m_unitClaims.begin(), m_unitClaims.end(),
                                      [](const UnitClaim& c) { return c.state == UnitClaim::State::None; });
        if (idle && m_gate == ClaimGate::Ask)
            QTimer::singleShot(0, &m_station, &Station::stop);
        tellLater();
        return;
    }
    portOfSlot(asked.slot)->setCheckingSerial(QString());
    m_arbiter->unitEnded(asked.slot);
    Q_EMIT scanRefused(asked.serial, reason);
    checkDone();
    tellLater();
}

// The server went away while it was asked: the order's offline rule, already in the gate, decides.
void OrderRun::onUnanswered(quint64 ticket, const QString& reason) {
    if (!m_unitClaims.empty()) {
        // Asked again, or let go, when the gate changes with the server's return or the offline rule.
        const Asked asked = m_asked.take(ticket);
        if (asked.slot != 0)
            m_unitClaims[std::size_t(asked.slot - 1)] = UnitClaim{};
        fillUnitClaims();
        return;
    }
    if (m_gate == ClaimGate::Open) {
        const Asked asked = m_asked.take(ticket);
        if (asked.slot == 0)
            return;
        portOfSlot(asked.slot)->setCheckingSerial(QString());
        armPort(asked.slot, asked.serial, asked.rework);
        return;
    }
    onRefused(ticket, m_gateReason.isEmpty() ? reason : m_gateReason);
}

// A claim asked after this is released after it: the server takes requests in the order they were
// made, so a claim still in flight is released once granted.
void OrderRun::releaseClaims() {
    if (!m_claims)
        return;
    for (auto it = m_asked.cbegin(); it != m_asked.cend(); ++it) {
        if (StationPort* port = portOfSlot(it->slot))
            port->setCheckingSerial(QString());
        m_claims->release(m_claimRun, it->unit);
    }
    for (const int unit : std::as_const(m_slotClaims))
        m_claims->release(m_claimRun, unit);
    for (UnitClaim& claim : m_unitClaims) {
        if (claim.state == UnitClaim::State::Held)
            m_claims->release(m_claimRun, claim.unit);
        claim = UnitClaim{};
    }
    m_asked.clear();
    m_slotClaims.clear();
}

void OrderRun::endOfInput() {
    if (!m_arbiter || m_arbiter->inputEnded())
        return;
    m_arbiter->endOfInput();
    checkDone();
    tellLater();
}

// A scan waits while a slot is armed, whose unit ends by itself and may free a slot; with none armed
// and none ready, only the operator frees one, so the scan is taken and refused with the reason.
bool OrderRun::wantsInput() const {
    if (!m_arbiter || m_station.isStopped())
        return false;
    return m_arbiter->wantsInput() ||
           (m_arbiter->armedCount() == 0 && !m_arbiter->inputEnded() && m_arbiter->unitsNeeded() > 0);
}

int OrderRun::nextSlot() const {
    return m_arbiter && !m_station.isStopped() ? m_arbiter->nextSlot() : 0;
}

StationPort* OrderRun::portOfSlot(int slot) const {
    const auto& ports = m_station.ports();
    return slot >= 1 && slot <= int(ports.size()) ? ports[std::size_t(slot - 1)].get() : nullptr;
}

// The slot's claim is done with; released, any bench may make its unit at once, else the unit was
// made and the server keeps the claim until the unit's record ends it.
void OrderRun::endSlotClaim(int slot, bool release) {
    const auto claim = m_slotClaims.constFind(slot);
    if (claim == m_slotClaims.cend())
        return;
    if (release && m_claims)
        m_claims->release(m_claimRun, *claim);
    else if (m_claims)
        m_claims->made(m_claimRun, *claim);
    m_slotClaims.erase(claim);
}

void OrderRun::onUnitEnded(int slot, const PortEvent& event) {
    if (!m_arbiter)
        return;
    if (event.finished())
        m_finishedHere.insert(event.serial);
    // A finished unit's claim stays on the server until its record ends it and counts it there; a
    // unit that did not finish is free at once for any bench.
    endSlotClaim(slot, !event.finished());
    m_arbiter->unitEnded(slot);
    const int limit = runLimit();
    m_arbiter->setUnitsNeeded(limit == ScanArbiter::kNoLimit ? limit : std::max(0, limit - made()));
    checkDone();
    tellLater();
}

// A rework finishes a unit the order already counted.
void OrderRun::onEvent(const PortEvent& event) {
    if (const int slot = event.kind == PortEventKind::Started && m_claims ? slotOf(event.device) : 0) {
        markOffline(slot);
        unitBegan(slot);
    }
    if (event.finished() && !event.rework)
        ++m_done;
    if (event.kind == PortEventKind::Done || event.kind == PortEventKind::Interrupted) {
        checkDone();
        tellLater();
    }
}

// On a bench that claims, a unit begun while its slot holds no claim of the plant's is made by the
// bench's own rules: the server was away and the order goes on without it.
void OrderRun::markOffline(int slot) {
    bool claimed = m_slotClaims.contains(slot);
    if (slot <= int(m_unitClaims.size())) {
        const UnitClaim::State state = m_unitClaims[std::size_t(slot - 1)].state;
        claimed = claimed || state == UnitClaim::State::Held || state == UnitClaim::State::InUse;
    }
    portOfSlot(slot)->setOffline(!claimed);
}

int OrderRun::slotOf(const QString& device) const {
    const auto& ports = m_station.ports();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i]->device() == device)
            return int(i) + 1;
    }
    return 0;
}

// Scanned, the station stops once nothing more will be armed and every armed unit has ended and
// been recorded; without scans the station's count stops it.
void OrderRun::checkDone() {
    if (!m_arbiter || !m_arbiter->finished() || m_station.unconfirmed() > 0 || m_station.isStopped())
        return;
    QTimer::singleShot(0, &m_station, &Station::stop);
}

void OrderRun::tellLater() {
    if (std::exchange(m_telling, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_telling = false;
        Q_EMIT changed();
    });
}

} // namespace qt2xx
