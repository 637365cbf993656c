#pragma once

#include "link/SequencerObserver.h"
#include "params/FrameEncoder.h"
#include "params/ParameterValues.h"
#include "record/ProductionRecord.h"

#include <QString>

#include <functional>
#include <utility>

namespace qt2xx {

class RecordWriter;

// What a recorder reads from the program that runs the sequencer, at the moment it needs it.
struct RunSource {
    std::function<QString()> device;                // the device the port opened
    std::function<const ParameterValues&()> values; // the set the frame was built from
    std::function<const DownloadFrame&()> frame;    // the frame sent
    // The file last loaded with OPEN and the bytes STORE would write for the set it loaded; empty
    // when there is none.
    std::function<std::pair<QString, QByteArray>()> openedFile;
};

// The program name and version the record keeps, "qt2xx 1.0".
QString RecordProgramName();
// SHA-256 of the bytes STORE writes for the set, lower-case hex.
QString ParameterSetSha256(const ParameterValues& values);

// Turns the runs of one sequencer into run rows and one record per controller outcome, handed to a
// writer. Units count from 1 at each Start.
class RunRecorder : public SequencerObserver {
public:
    RunRecorder(RecordWriter& writer, RunSource source, QString program = RecordProgramName());
    ~RunRecorder() override; // a run still going is closed

    void runStarted() override;
    void controllerAnswered() override;
    void controllerDone(Outcome outcome) override;
    void runStopped() override;

    // Told of each record as it is handed to the writer, with its ticket.
    std::function<void(quint64 ticket, const ProductionRecord&)> submitted;

    const QString& runId() const { return m_run.runId; }
    // The program that counts its units itself hands its count, so a record's unit is the one the
    // program tells; else the recorder counts them from 1 at each Start.
    void setUnitCount(std::function<int()> unit) { m_unitCount = std::move(unit); }
    int unit() const { return m_unitCount ? m_unitCount() : m_unit; }
    // The order, operator and station every record of this recorder carries; the station is the
    // host name unless one is given.
    void setContext(RecordContext context) { m_context = std::move(context); }
    // The serial of the unit under way, read when its outcome is recorded.
    void setUnitLabel(std::function<UnitLabel()> label) { m_unitLabel = std::move(label); }

private:
    RecordWriter& m_writer;
    RunSource m_source;
    std::function<int()> m_unitCount;
    RecordContext m_context;
    std::function<UnitLabel()> m_unitLabel;
    QString m_program;
    QString m_host;
    RunInfo m_run;
    int m_unit = 0;
    bool m_unitOpen = false; // the current unit answered and has no outcome yet
};

} // namespace qt2xx
