#pragma once

#include "platform/core/Result.h"

#include <QString>

namespace qt2xx {

// Where labels go: a printer's raw port, a device or file the label is appended to, or a PDF with one
// page per label.
struct LabelAddress {
    enum class Kind {
        Tcp,  // tcp://HOST[:PORT]: ZPL to the printer's raw port
        Path, // a device (/dev/usb/lp0) or any file: ZPL appended
        Pdf,  // pdf:PATH: PATH ending in .pdf is replaced by each label; any other PATH is a folder
              // that receives one file per label
    };
    static constexpr quint16 kRawPort = 9100;

    Kind kind = Kind::Path;
    QString host;
    quint16 port = kRawPort;
    QString path;
    QString text; // as given: the queue and the print log keep it

    bool speaksZpl() const { return kind != Kind::Pdf; }
};

// Refuses, with the reason, anything that is none of the three.
Result<LabelAddress> ParseLabelAddress(const QString& text);

} // namespace qt2xx
