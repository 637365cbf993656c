#pragma once

#include <cstdint>

namespace qt2xx {

// The values of intCommFlag: where the Start/Stop command and the download sequence stand.
enum class CommFlag : std::int32_t {
    Idle = 0,      // stopped
    Seeking = 1,   // "8" goes out until a controller answers "U"
    Answered = 2,  // the next tick writes the frame
    FrameSent = 3, // waiting for "Q"
    Accepted = 4,  // waiting for "R"
    Stored = 5,    // the next tick reports "Finished"
};

// Asks where a run stands, for parts that must refuse work while one is in progress.
class RunState {
public:
    virtual ~RunState() = default;
    virtual CommFlag intCommFlag() const = 0;
};

} // namespace qt2xx
