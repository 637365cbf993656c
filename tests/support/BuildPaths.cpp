#include "support/BuildPaths.h"

namespace qt2xx::test {

QString ProgramPath(QStringView name) {
    return QStringLiteral(QT2XX_BIN_DIR "/").append(name);
}

QString TestDataPath(QStringView relative) {
    return SourcePath(QStringLiteral("tests/data/").append(relative));
}

QString SourcePath(QStringView relative) {
    return QStringLiteral(QT2XX_SOURCE_DIR "/").append(relative);
}

QString ControllerSimPath() {
    return ProgramPath(u"qt2xx-controller-sim");
}

} // namespace qt2xx::test
