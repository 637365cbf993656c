#include "SimOptions.h"

#include <QByteArray>

#include <array>

namespace qt2xx::sim {

const char* const kUsage =
    "usage: qt2xx-controller-sim [--count N] [--answer-delay MS] [--noise] [--swap MS]\n"
    "                            [FAILURE [--fail-every K]]\n"
    "\n"
    "Plays a motor controller on a pseudo-terminal. The first line on stdout is the device path:\n"
    "type it into the tool's port box and press Start Transmit. Every \"8\" is answered with \"U\";\n"
    "the next 32 bytes are the frame, which must start with 02 0F and have an XOR of 0 over all\n"
    "32 bytes. A good frame is answered with \"Q\" and then \"R\" (at least 20 ms later, once the host\n"
    "has read the \"Q\"). Then the next \"8\" is the next controller, or with --swap the controller is\n"
    "taken out and a new one put in.\n"
    "\n"
    "Lines on stdout, flushed at once:\n"
    "  programmed <n>: <32 hex pairs>   the n-th controller stored this frame\n"
    "  failed <n>: <mode>               the n-th failure, played by the failure mode\n"
    "  bad frame: <hex pairs>           a frame that fails the check, or stops coming for 1 s;\n"
    "                                   answered with \"X\" and counted as a failure\n"
    "  new unit <k>                     with --swap: the k-th controller was put in and answers\n"
    "  summary: programmed=P failed=F   on SIGTERM, SIGINT or when --count is reached\n"
    "\n"
    "Options:\n"
    "  --count N             exit 0 after N controllers programmed (0, the default: run until stopped)\n"
    "  --answer-delay MS     wait MS milliseconds before each \"U\", \"Q\" and \"R\" (default 0)\n"
    "  --noise               stray bytes other than \"U\" while the host seeks, a few per second\n"
    "  --swap MS             once a controller has stored its frame, answer nothing for MS milliseconds\n"
    "                        (it was taken out), then answer as a new controller; a controller that\n"
    "                        failed stays in, to be tried again\n"
    "  --fail-every K        apply the failure mode to every K-th controller only (default: to all)\n"
    "  --help                show this text\n"
    "FAILURE is one of:\n"
    "  --reject-frame        answer the frame with \"X\" instead of \"Q\"\n"
    "  --reject-store        answer \"Q\", then \"X\" instead of \"R\"\n"
    "  --silent-after-frame  never answer the frame\n"
    "  --silent-after-accept answer \"Q\", never \"R\"\n"
    "  --one-chunk           answer \"Q\" and \"R\" in one write\n";

namespace {

struct FailureFlag {
    const char* name;
    Failure failure;
};

constexpr std::array kFailureFlags{
    FailureFlag{"reject-frame", Failure::RejectFrame},
    FailureFlag{"reject-store", Failure::RejectStore},
    FailureFlag{"silent-after-frame", Failure::SilentAfterFrame},
    FailureFlag{"silent-after-accept", Failure::SilentAfterAccept},
    FailureFlag{"one-chunk", Failure::OneChunk},
};

std::optional<Failure> failureOfOption(const QByteArray& arg) {
    for (const FailureFlag& flag : kFailureFlags) {
        if (arg == QByteArray("--") + flag.name)
            return flag.failure;
    }
    return std::nullopt;
}

std::optional<int> nonNegativeNumber(const char* text) {
    bool ok = false;
    const int value = QByteArray(text).toInt(&ok);
    return ok && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

bool takeNumber(const QByteArray& arg, const char* value, Options& options) {
    const std::optional<int> number = value ? nonNegativeNumber(value) : std::nullopt;
    if (!number)
        return false;
    if (arg == "--count")
        options.count = *number;
    else if (arg == "--answer-delay")
        options.answerDelay = std::chrono::milliseconds(*number);
    else if (arg == "--swap")
        options.swap = std::chrono::milliseconds(*number);
    else
        options.failEvery = *number;
    return arg != "--fail-every" || *number > 0;
}

} // namespace

const char* FailureName(Failure failure) {
    for (const FailureFlag& flag : kFailureFlags) {
        if (flag.failure == failure)
            return flag.name;
    }
    return "none";
}

ParseOutcome ParseOptions(int argc, char* argv[], Options& options) {
    bool failEveryGiven = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h")
            return ParseOutcome::Help;
        if (arg == "--noise") {
            options.noise = true;
        } else if (const std::optional<Failure> failure = failureOfOption(arg)) {
            if (options.failure != Failure::None)
                return ParseOutcome::Misuse; // one failure mode at a time
            options.failure = *failure;
        } else if (arg == "--count" || arg == "--answer-delay" || arg == "--fail-every" || arg == "--swap") {
            failEveryGiven = failEveryGiven || arg == "--fail-every";
            if (!takeNumber(arg, i + 1 < argc ? argv[++i] : nullptr, options))
                return ParseOutcome::Misuse;
        } else {
            return ParseOutcome::Misuse;
        }
    }
    if (failEveryGiven && options.failure == Failure::None)
        return ParseOutcome::Misuse;
    return ParseOutcome::Run;
}

} // namespace qt2xx::sim
