#pragma once

#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "support/RecordRig.h"
#include "support/SequencerHarness.h"

namespace qt2xx::test {

// The sequencer on the real 100 ms timer with a recorder as its observer.
struct RecordedRig : SequencerParts {
    RecordedRig(const QString& device, const QString& database)
        : SequencerParts(QStringLiteral("/dev")), writer(database),
          recorder(writer, RunSource{[this] { return port.openedDevice(); },
                                     [this]() -> const ParameterValues& { return values; },
                                     [this]() -> const DownloadFrame& { return frame; },
                                     {}}) {
        window.portBox = device;
        runOnRealTimer();
        sequencer.setObserver(&recorder);
    }

    QStringList outcomeLines() const { return OutcomeLines(log.texts()); }

    RecordWriter writer;
    RunRecorder recorder;
};

} // namespace qt2xx::test
