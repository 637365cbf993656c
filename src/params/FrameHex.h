#pragma once

#include "params/FrameEncoder.h"

#include <QByteArrayView>
#include <QString>

namespace qt2xx {

// Bytes as every program prints and the record keeps them: upper-case hex digits, two per byte,
// with `separator` between bytes when it is not '\0' ("02 0F 45 ...").
QString FrameHex(QByteArrayView bytes, char separator = '\0');
QString FrameHex(const DownloadFrame& frame, char separator = '\0');

} // namespace qt2xx
