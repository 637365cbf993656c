#pragma once

#include <chrono>
#include <vector>

namespace qt2xx {

// What a slot is doing, as far as its lamps and the stack light care.
enum class SlotPhase {
    Idle,           // the station does not run: no lamp, and nothing for the stack light
    WaitingForScan, // the operator is to scan the next unit's serial
    Seeking,        // ready for a controller: armed by a scan, or looking for one without scans
    Programming,    // a controller answered and is being programmed
    Finished,       // its unit was programmed
    Failed,         // its unit failed
    UnitToRemove,   // the operator is to take the programmed unit out
    ContactProblem, // the slot relies on its unit-present contact and cannot read it
};

struct SlotLamps {
    bool busy = false;
    bool pass = false;
    bool fail = false;

    friend bool operator==(const SlotLamps&, const SlotLamps&) = default;
};

struct StackLamps {
    bool green = false;
    bool amber = false;
    bool red = false;

    friend bool operator==(const StackLamps&, const StackLamps&) = default;
};

struct FixtureOutputs {
    std::vector<SlotLamps> slots; // slots[0] is slot 1
    StackLamps stack;

    friend bool operator==(const FixtureOutputs&, const FixtureOutputs&) = default;
};

// The rules that turn the slots' phases and the station's conditions into the fixture's lamps. Slots
// count from 1 in the order of the ports.
//
// A slot's pass or fail lamp shows its last unit's outcome until its next unit begins: a controller
// answers (Programming), or a scan arms the slot (Seeking after WaitingForScan). A slot that goes
// straight back to seeking, as a station without scans does, keeps showing the outcome meanwhile.
// The stack light's tiers are independent, so a supervisor sees every reason at once: green while
// any slot is making a unit (seeking or programming), amber while any waits for the operator (a scan,
// a unit to take out), red while any slot shows a failure or cannot read its contact, and while
// records cannot be written or the plant's rules cannot be kept. The buzzer sounds briefly when a
// unit fails and when a scan is refused.
class FixtureSignals {
public:
    static constexpr std::chrono::milliseconds kFailureBuzz{600};
    static constexpr std::chrono::milliseconds kRefusedScanBuzz{200};
    static constexpr std::chrono::milliseconds kSilence{0};

    explicit FixtureSignals(int slotCount, SlotPhase initial = SlotPhase::Seeking);

    // Returns how long the buzzer should sound for this change; kSilence for none.
    std::chrono::milliseconds setPhase(int slot, SlotPhase phase);
    std::chrono::milliseconds scanRefused() const { return kRefusedScanBuzz; }
    void setRecordsFailing(bool failing) { m_recordsFailing = failing; }
    void setRulesBroken(bool broken) { m_rulesBroken = broken; }

    int slotCount() const { return int(m_slots.size()); }
    FixtureOutputs outputs() const;

private:
    enum class Outcome { None, Passed, Failed };
    struct Slot {
        SlotPhase phase;
        Outcome outcome = Outcome::None;
    };

    std::vector<Slot> m_slots;
    bool m_recordsFailing = false;
    bool m_rulesBroken = false;
};

} // namespace qt2xx
