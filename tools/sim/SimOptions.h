#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace qt2xx::sim {

// How a controller may fail its exchange, played on purpose.
enum class Failure { None, RejectFrame, RejectStore, SilentAfterFrame, SilentAfterAccept, OneChunk };

struct Options {
    int count = 0; // exit after this many controllers programmed; 0: run until stopped
    std::chrono::milliseconds answerDelay{0};
    Failure failure = Failure::None;
    int failEvery = 0; // 0: the failure mode applies to every controller
    bool noise = false;
    // Once a controller has stored its frame it is taken out: silent for this long, then a new
    // controller answers. Without it the next "8" is the next controller at once.
    std::optional<std::chrono::milliseconds> swap;
};

enum class ParseOutcome { Run, Help, Misuse };

// The name of a failure mode as its option and the "failed" lines spell it, without the dashes.
const char* FailureName(Failure failure);

ParseOutcome ParseOptions(int argc, char* argv[], Options& options);

// The --help text, which also goes to stderr on misuse.
QString Usage();

} // namespace qt2xx::sim
