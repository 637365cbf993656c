// The download sequencer fed a random interleaving of ticks, receive events with random chunks,
// Start and Stop, and ports that fail. Whatever arrives: the state stays within 0 to 5, the tick
// counter never passes 11, and nothing but "8" and the frame built at Start ever goes out.
#include "link/DownloadSequencer.h"
#include "link/TransmitWindow.h"
#include "params/ParameterTable.h"
#include "platform/core/CommPort.h"
#include "platform/core/MessageBox.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

using namespace qt2xx;

// Fuzz input as a stream of bytes; reads past the end give 0.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    std::uint8_t next() { return m_pos < m_size ? m_data[m_pos++] : 0; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// A port that only records: the fuzzer decides what arrives and whether opening works.
class RecordingPort : public CommPort {
public:
    void setCommPort(std::int16_t) override {}
    void setDevicePath(const QString&) override {}
    PortError open() override {
        if (m_open)
            return kPortAlreadyOpen;
        if (failOpen)
            return kPortUnusable;
        m_open = true;
        return kPortOk;
    }
    void close() override { m_open = false; }
    bool isPortOpen() const override { return m_open; }
    bool outputBytes(QByteArrayView bytes) override {
        if (!m_open || failWrite)
            return false;
        writes.emplace_back(bytes.toByteArray());
        return true;
    }
    bool outputText(const QString& text) override { return outputBytes(text.toLatin1()); }
    QByteArray input() override { return std::exchange(pending, QByteArray()); }
    int commEvent() const override { return event; }
    PortFailure lastFailure() const override { return {kPortUnusable, QStringLiteral("/dev/fuzz"), {}, {}}; }

    void deliver(int code, const QByteArray& chunk) {
        event = code;
        pending += chunk;
        Q_EMIT onComm();
    }

    bool failOpen = false;
    bool failWrite = false;
    int event = kCommEventNone;
    QByteArray pending;
    std::vector<QByteArray> writes;

private:
    bool m_open = false;
};

class Window : public TransmitWindow, public StatusLog, public MessageBox {
public:
    QString comboText(int index) const override { return texts[index]; }
    QString portBoxText() const override { return QStringLiteral("1"); }
    void setFileSendCaption(const QString&) override {}
    void setControlsEnabled(bool) override {}
    bool indicatorEnabled() const override { return m_indicator; }
    void setIndicatorEnabled(bool enabled) override { m_indicator = enabled; }
    void setProgressValue(float value) override {
        if (!(value == 0 || value == 50 || value == 75 || value == 100))
            std::abort();
    }
    void setTimerEnabled(bool enabled) override { timerOn = enabled; }
    void ReceiveDisplay(const QString&, LogColor intColor) override {
        if (intColor != kLogRed && intColor != kLogBlue)
            std::abort();
    }
    void show(const QString&, const QString&) override { ++messageBoxes; }

    std::array<QString, kParameterCount> texts;
    bool timerOn = false;
    int messageBoxes = 0;

private:
    bool m_indicator = true;
};

void check(const DownloadSequencer& sequencer, const RecordingPort& port,
           const std::optional<DownloadFrame>& expected) {
    if (sequencer.intCommFlag() < CommFlag::Idle || sequencer.intCommFlag() > CommFlag::Stored)
        std::abort();
    if (sequencer.tickCounter() > kStoreTimeoutTick)
        std::abort();
    for (const QByteArray& written : port.writes) {
        if (written == kHandshakeRequest)
            continue;
        if (!expected || written.size() != kFrameSize ||
            QByteArray(reinterpret_cast<const char*>(expected->data()), kFrameSize) != written)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_sequencer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    Input in(data, size);
    Window window;
    for (int i = 0; i < kParameterCount; ++i) {
        const QStringList& choices = ParameterTable()[i].choices;
        const int pick = in.next();
        // An occasional unpicked list exercises the blank-parameter refusal.
        window.texts[i] = pick == 0xFF ? QString() : choices[pick % choices.size()];
    }

    RecordingPort port;
    ParameterValues values;
    DownloadFrame frame{};
    DownloadSequencer sequencer(port, window, window, window, values, frame);
    std::optional<DownloadFrame> expected;

    while (!in.atEnd()) {
        const std::uint8_t op = in.next();
        switch (op % 6) {
        case 0:
        case 1:
            if (window.timerOn)
                sequencer.Timer1_Timer();
            break;
        case 2: {
            if (!port.isPortOpen())
                break;
            QByteArray chunk;
            const int length = in.next() % 5;
            for (int i = 0; i < length; ++i) {
                static const char likely[] = {'U', 'Q', 'R', '8', 'X', 0};
                const std::uint8_t b = in.next();
                chunk += b < 128 ? likely[b % sizeof likely] : char(b);
            }
            port.deliver(op & 0x80 ? kCommEventNone : kCommEventReceive, chunk);
            break;
        }
        case 3: {
            const bool wasIdle = sequencer.intCommFlag() == CommFlag::Idle;
            port.writes.clear();
            sequencer.cmdFileSend_Click();
            if (wasIdle && sequencer.intCommFlag() != CommFlag::Idle) {
                ParameterValues captured;
                for (int i = 0; i < kParameterCount; ++i)
                    captured[i] = window.texts[i];
                DownloadFrame reference{};
                expected.reset();
                if (!BuildDownloadFrame(captured, reference))
                    expected = reference;
                else
                    std::abort(); // a set without a frame must never start a run
            }
            if (sequencer.intCommFlag() == CommFlag::Idle && (window.timerOn || port.isPortOpen()))
                std::abort();
            break;
        }
        case 4:
            port.failOpen = op & 0x40;
            port.failWrite = op & 0x80;
            break;
        case 5:
            if (port.isPortOpen()) {
                port.close(); // a vanished device closes the port before its event comes
                port.deliver(kCommEventLost, {});
            }
            break;
        }
        check(sequencer, port, expected);
    }
    return 0;
}
