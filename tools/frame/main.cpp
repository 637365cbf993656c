// qt2xx-frame: shows the 32 bytes a parameter file sends to a controller, before any controller
// gets them.
#include "files/SetFile.h"
#include "params/FrameEncoder.h"
#include "params/FrameHex.h"
#include "params/ParameterTable.h"
#include "platform/core/ExitStatus.h"
#include "record/RunRecorder.h"

#include <cstdio>

namespace {

using namespace qt2xx;

constexpr const char* kUsage = "usage: qt2xx-frame [--explain | --sha256] FILE.asv\n"
                               "Prints the 32-byte download frame that the parameter file gives, as\n"
                               "upper-case hex pairs on one line; --explain prints one row per byte;\n"
                               "--sha256 prints the set's SHA-256 as records keep it and work orders\n"
                               "release it, lower-case hex.\n"
                               "Exit status: 0 printed, 1 the file gives no set or no frame, 2 usage.\n";

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
    bool explainRows = false;
    bool sha256 = false;
    QString path;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--explain")) {
            explainRows = true;
        } else if (arg == QLatin1String("--sha256")) {
            sha256 = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return ExitOk;
        } else if (path.isEmpty() && !arg.startsWith(QLatin1String("--"))) {
            path = arg;
        } else {
            std::fputs(kUsage, stderr);
            return ExitRefused;
        }
    }
    if (path.isEmpty() || (explainRows && sha256)) {
        std::fputs(kUsage, stderr);
        return ExitRefused;
    }

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
