#include "SimOptions.h"

#include "platform/core/CommandLine.h"
#include "platform/core/ExitStatus.h"

#include <QStringList>

#include <array>

namespace qt2xx::sim {

namespace {

struct FailureFlag {
    const char* name;
    Failure failure;
    const char* help;
};

constexpr std::array kFailureFlags{
    FailureFlag{"reject-frame", Failure::RejectFrame,
                "FAILURE: answer the frame with \"X\" instead of \"Q\""},
    FailureFlag{"reject-store", Failure::RejectStore, "FAILURE: answer \"Q\", then \"X\" instead of \"R\""},
    FailureFlag{"silent-after-frame", Failure::SilentAfterFrame, "FAILURE: never answer the frame"},
    FailureFlag{"silent-after-accept", Failure::SilentAfterAccept, "FAILURE: answer \"Q\", never \"R\""},
    FailureFlag{"one-chunk", Failure::OneChunk, "FAILURE: answer \"Q\" and \"R\" in one write"},
};

// A whole number of 0 or more, as the numeric options take it.
std::optional<int> nonNegativeNumber(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

namespace {

// The options, declared once for the parser and the help.
OptionSpecs optionDeclarations() {
    OptionSpecs specs{
        {QStringLiteral("count"), QStringLiteral("N"),
         QStringLiteral("exit 0 after N controllers programmed (0, the default: run until stopped)")},
        {QStringLiteral("answer-delay"), QStringLiteral("MS"),
         QStringLiteral("wait MS milliseconds before each \"U\", \"Q\" and \"R\" (default 0)")},
        {QStringLiteral("noise"),
         {},
         QStringLiteral("stray bytes other than \"U\" while the host seeks, a few per second")},
        {QStringLiteral("swap"), QStringLiteral("MS"),
         QStringLiteral(
             "once a controller has stored its frame, answer nothing for MS milliseconds (it was taken "
             "out), then answer as a new controller; a controller that failed stays in, to be tried "
             "again")},
        {QStringLiteral("fail-every"), QStringLiteral("K"),
         QStringLiteral("apply the failure mode to every K-th controller only (default: to all)")},
    };
    for (const FailureFlag& flag : kFailureFlags)
        specs.push_back({QLatin1String(flag.name), {}, QLatin1String(flag.help)});
    return specs;
}

} // namespace

QString Usage() {
    return QStringLiteral(
               "usage: qt2xx-controller-sim [--count N] [--answer-delay MS] [--noise] [--swap MS]\n"
               "                            [FAILURE [--fail-every K]]\n"
               "\n"
               "Plays a motor controller on a pseudo-terminal. The first line on stdout is the device path:\n"
               "type it into the tool's port box and press Start Transmit. Every \"8\" is answered with "
               "\"U\";\n"
               "the next 32 bytes are the frame, which must start with 02 0F and have an XOR of 0 over all\n"
               "32 bytes. A good frame is answered with \"Q\" and then \"R\" (at least 20 ms later, once the "
               "host\n"
               "has read the \"Q\"). Then the next \"8\" is the next controller, or with --swap the "
               "controller is\n"
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
               "Options (FAILURE is one of the five failure modes; one at a time):\n"
               "%1"
               "\n"
               "%2")
        .arg(OptionsHelp(optionDeclarations()),
             ExitStatusHelp({{ExitOk, "--count was reached, or SIGTERM or SIGINT stopped the controller"},
                             {ExitRefused, "the command line was refused"}}));
}

const char* FailureName(Failure failure) {
    for (const FailureFlag& flag : kFailureFlags) {
        if (flag.failure == failure)
            return flag.name;
    }
    return "none";
}

ParseOutcome ParseOptions(int argc, char* argv[], Options& options) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line(optionDeclarations());
    if (!line.parse(arguments) || !line.positional().isEmpty())
        return ParseOutcome::Misuse;
    if (line.helpAsked())
        return ParseOutcome::Help;
    options.noise = line.isSet(QStringLiteral("noise"));
    for (const FailureFlag& flag : kFailureFlags) {
        if (!line.isSet(QLatin1String(flag.name)))
            continue;
        if (options.failure != Failure::None)
            return ParseOutcome::Misuse; // one failure mode at a time
        options.failure = flag.failure;
    }
    for (const char* name : {"count", "answer-delay", "swap", "fail-every"}) {
        if (!line.isSet(QLatin1String(name)))
            continue;
        const std::optional<int> number = nonNegativeNumber(line.value(QLatin1String(name)));
        if (!number)
            return ParseOutcome::Misuse;
        if (qstrcmp(name, "count") == 0)
            options.count = *number;
        else if (qstrcmp(name, "answer-delay") == 0)
            options.answerDelay = std::chrono::milliseconds(*number);
        else if (qstrcmp(name, "swap") == 0)
            options.swap = std::chrono::milliseconds(*number);
        else if (*number == 0 || options.failure == Failure::None)
            return ParseOutcome::Misuse; // every 0th, or a failure mode not given
        else
            options.failEvery = *number;
    }
    return ParseOutcome::Run;
}

} // namespace qt2xx::sim
