#pragma once

#include "params/FrameEncoder.h"
#include "params/ParameterValues.h"

#include <QString>

namespace qt2xx {

// A parameter file read for a program that sends it without the window: the set with its frame, or
// the one line that says why the file gives none.
struct SetFile {
    enum class Status {
        Ready,      // values and frame hold the set and the frame it gives
        Unreadable, // the file cannot be read
        Refused,    // the file is no complete set, or the set gives no frame
    };
    Status status = Status::Unreadable;
    QString problem; // e.g. line 3: "7.25" is not a choice of Rated Current(A).
    ParameterValues values;
    DownloadFrame frame{};

    bool ready() const { return status == Status::Ready; }
};

// Reads the file with the reader and the matching of OPEN, then builds the frame as Start does.
SetFile ReadSetFile(const QString& path);

} // namespace qt2xx
