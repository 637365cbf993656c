#include "station/FixtureSignals.h"

#include <algorithm>

namespace qt2xx {

FixtureSignals::FixtureSignals(int slotCount, SlotPhase initial)
    : m_slots(std::size_t(std::max(slotCount, 0))) {
    for (Slot& slot : m_slots)
        slot.phase = initial;
}

std::chrono::milliseconds FixtureSignals::setPhase(int slot, SlotPhase phase) {
    if (slot < 1 || slot > slotCount())
        return kSilence;
    Slot& s = m_slots[std::size_t(slot - 1)];
    const SlotPhase before = s.phase;
    s.phase = phase;
    if (phase == before)
        return kSilence;
    switch (phase) {
    case SlotPhase::Programming:
        s.outcome = Outcome::None;
        break;
    case SlotPhase::Seeking:
        if (before == SlotPhase::WaitingForScan)
            s.outcome = Outcome::None;
        break;
    case SlotPhase::Finished:
        s.outcome = Outcome::Passed;
        break;
    case SlotPhase::Failed:
        s.outcome = Outcome::Failed;
        return kFailureBuzz;
    case SlotPhase::Idle:
    case SlotPhase::WaitingForScan:
    case SlotPhase::UnitToRemove:
    case SlotPhase::ContactProblem:
        break;
    }
    return kSilence;
}

FixtureOutputs FixtureSignals::outputs() const {
    FixtureOutputs out;
    out.stack.red = m_recordsFailing || m_rulesBroken;
    for (const Slot& s : m_slots) {
        out.slots.push_back(SlotLamps{s.phase == SlotPhase::Programming, s.outcome == Outcome::Passed,
                                      s.outcome == Outcome::Failed});
        switch (s.phase) {
        case SlotPhase::Seeking:
        case SlotPhase::Programming:
            out.stack.green = true;
            break;
        case SlotPhase::WaitingForScan:
        case SlotPhase::UnitToRemove:
            out.stack.amber = true;
            break;
        case SlotPhase::ContactProblem:
            out.stack.red = true;
            break;
        case SlotPhase::Idle:
        case SlotPhase::Finished:
        case SlotPhase::Failed:
            break;
        }
        if (s.outcome == Outcome::Failed)
            out.stack.red = true;
    }
    return out;
}

} // namespace qt2xx
