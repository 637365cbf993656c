#pragma once

namespace qt2xx {

// What every companion program's exit status tells a script.
enum ExitStatus : int {
    ExitOk = 0,          // the job ran and everything in it went well
    ExitFailed = 1,      // the job ran and something in it failed
    ExitRefused = 2,     // the input or the command line was refused; nothing was done
    ExitUnreachable = 3, // nothing the job needed could be reached
};

} // namespace qt2xx
