#include "forward/Forwarder.h"
#include "link/DownloadSequencer.h"
#include "platform/widgets/RichTextBox.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "ui/frmMain.h"

namespace qt2xx {

void frmMain::attachRecorder(RecordWriter& writer, const QString& operatorId, const QString& station) {
    RunSource source;
    source.device = [this] { return m_ctrMSComm.openedDevice(); };
    source.values = [this]() -> const ParameterValues& { return m_values; };
    source.frame = [this]() -> const DownloadFrame& { return m_frame; };
    source.openedFile = [this] { return std::pair(m_files->openedPath(), m_files->openedSet()); };
    m_recorder = std::make_unique<RunRecorder>(writer, std::move(source));
    m_recorder->setContext(RecordContext{QString(), operatorId, station});
    m_sequencer->setObserver(m_recorder.get());
    connect(&writer, &RecordWriter::writeFailed, this,
            [this](const QString& database, const QString& reason) {
                ReceiveDisplay(RecordNotSavedMessage(database, reason), kLogRed);
            });
    connect(&writer, &RecordWriter::writeRecovered, this,
            [this] { ReceiveDisplay(kRecordSavedAgain, kLogBlue); });
    // The log's own texts stay as they are; hovering over it tells where the record goes.
    m_richTextBox->setToolTip(QStringLiteral("Records are kept in %1").arg(writer.databasePath()));
    writer.probe();
}

void frmMain::attachForwarder(Forwarder& forwarder) {
    connect(&forwarder, &Forwarder::stopped, this, [this, &forwarder](const QString& reason) {
        ReceiveDisplay(RecordsNotForwardedMessage(forwarder.server(), reason), kLogRed);
    });
    connect(&forwarder, &Forwarder::resumed, this, [this, &forwarder] {
        ReceiveDisplay(RecordsForwardedAgainMessage(forwarder.server()), kLogBlue);
    });
    m_richTextBox->setToolTip(m_richTextBox->toolTip() + u'\n' +
                              tr("Records are forwarded to %1").arg(forwarder.server()));
}

} // namespace qt2xx
