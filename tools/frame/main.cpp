// qt2xx-frame: shows the 32 bytes a parameter file sends to a controller, before any controller
// gets them.
#include "files/SetFile.h"
#include "params/FrameEncoder.h"
#include "params/FrameHex.h"
#include "params/ParameterTable.h"
#include "platform/core/CommandLine.h"
#include "platform/core/ExitStatus.h"
#include "record/RunRecorder.h"

#include <QStringList>

#include <cstdio>

namespace {

using namespace qt2xx;

const OptionSpecs& optionDeclarations() {
    static const OptionSpecs specs{
        {QStringLiteral("explain"),
         {},
         QStringLiteral("one row per byte: where it comes from, the raw value and the byte")},
        {QStringLiteral("sha256"),
         {},
         QStringLiteral("the set's SHA-256 as records keep it and work orders release it, lower-case hex")},
    };
    return specs;
}

QString usage() {
    return QStringLiteral("usage: qt2xx-frame [--explain | --sha256] FILE.asv\n"
                          "Prints the 32-byte download frame that the parameter file gives, as\n"
                          "upper-case hex pairs on one line.\n"
                          "\n"
                          "Options:\n") +
           OptionsHelp(optionDeclarations()) + QLatin1Char('\n') +
           ExitStatusHelp({{ExitOk, "printed"},
                           {ExitFailed, "the file gives no set or no frame"},
                           {ExitRefused, "the command line was refused"}});
}

void refuse(const QString& file, const QString& why) {
    std::fprintf(stderr, "qt2xx-frame: %s: %s\n", qPrintable(file), qPrintable(why));
}

QString byteSource(int byteIndex, const ParameterValues& values) {
    const int parameter = ParameterOfFrameByte(byteIndex);
    if (parameter >= 0)
        return QStringLiteral("%1 \"%2\"").arg(ParameterTable()[parameter].displayName(), values[parameter]);
    if (byteIndex <= 1)
        return QStringLiteral("(constant)");
    if (byteIndex == kFrameSize - 1)
        return QStringLiteral("(XOR of bytes 0 to 30)");
    return QStringLiteral("(never written)");
}

void explain(const DownloadFrame& frame, const ParameterValues& values) {
    const FrameRawValues raw = ComputeFrameRawValues(values);
    for (int i = 0; i < kFrameSize; ++i) {
        std::printf("%2d  %-42s  %-22s  %02X\n", i, qPrintable(byteSource(i, values)),
                    qPrintable(ShortestText(raw[i])), frame[i]);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line(optionDeclarations());
    const Done parsed = line.parse(arguments);
    if (parsed && line.helpAsked()) {
        std::fputs(qPrintable(usage()), stdout);
        return ExitOk;
    }
    const bool explainRows = line.isSet(QStringLiteral("explain"));
    const bool sha256 = line.isSet(QStringLiteral("sha256"));
    if (!parsed || line.positional().size() != 1 || (explainRows && sha256)) {
        std::fputs(qPrintable(usage()), stderr);
        return ExitRefused;
    }
    const QString path = line.positional().constFirst();

    const SetFile set = ReadSetFile(path);
    if (!set.ready()) {
        refuse(path, set.problem);
        return ExitFailed;
    }
    if (sha256)
        std::printf("%s\n", qPrintable(ParameterSetSha256(set.values)));
    else if (explainRows)
        explain(set.frame, set.values);
    else
        std::printf("%s\n", qPrintable(FrameHex(set.frame, ' ')));
    return ExitOk;
}
