#include "params/FrameHex.h"

#include <QByteArray>

namespace qt2xx {

QString FrameHex(QByteArrayView bytes, char separator) {
    return QString::fromLatin1(bytes.toByteArray().toHex(separator).toUpper());
}

QString FrameHex(const DownloadFrame& frame, char separator) {
    return FrameHex(QByteArrayView(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())),
                    separator);
}

} // namespace qt2xx
