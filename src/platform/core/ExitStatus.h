#pragma once

#include <QString>

#include <array>
#include <initializer_list>
#include <utility>

namespace qt2xx {

// What every program's exit status tells a script.
enum ExitStatus : int {
    ExitOk = 0,          // the job ran and everything in it went well
    ExitFailed = 1,      // the job ran and something in it failed
    ExitRefused = 2,     // the input or the command line was refused; nothing was done
    ExitUnreachable = 3, // nothing the job needed could be reached
};

struct ExitStatusMeaning {
    ExitStatus status;
    const char* meaning; // what a script may take it for, the same in every program
};

inline constexpr std::array kExitStatuses{
    ExitStatusMeaning{ExitOk, "ok"},
    ExitStatusMeaning{ExitFailed, "failed"},
    ExitStatusMeaning{ExitRefused, "refused"},
    ExitStatusMeaning{ExitUnreachable, "unreachable"},
};

// One program's case of each status it uses, in the words of its own job.
using ExitStatusCases = std::initializer_list<std::pair<ExitStatus, const char*>>;

// The "Exit status:" part of a program's --help: one line per status the program uses, its meaning
// from kExitStatuses and then the program's case, wrapped to the width of the help.
QString ExitStatusHelp(ExitStatusCases cases);

} // namespace qt2xx
