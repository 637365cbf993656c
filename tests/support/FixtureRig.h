#pragma once

#include "support/ModbusModule.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

namespace qt2xx::test {

// The module of a ModbusModule runs on the test's own thread: whatever waits for a program that
// talks to it must keep the event loop going. These wait so.
void Spin(int ms);
// Spins until done() holds or timeoutMs has passed; returns done().
bool SpinUntil(const std::function<bool()>& done, int timeoutMs);

// Every coil of a module sampled every kSample and when asked: whether each has been on since the
// last clear(), so a pulse shorter than the test's checks is still seen.
class CoilLog : public QObject {
public:
    static constexpr int kSampleMs = 10;

    explicit CoilLog(const ModbusModule& module);
    bool seenOn(quint16 coil);
    void clear();

private:
    void sample();

    const ModbusModule& m_module;
    std::vector<bool> m_seen;
    QTimer m_timer;
};

// The fixture of the fixture tests, on a ModbusModule: slot k (from 1) has its busy, pass and fail lamps
// on coils 3k-3 to 3k-1, the first slot alone a unit-present contact on input kContact, and the stack
// light and buzzer their own coils.
struct TestFixture {
    static constexpr quint16 kGreen = 48, kAmber = 49, kRed = 50, kBuzzer = 51;
    static constexpr quint16 kContact = 0;
    static quint16 busy(int slot) { return quint16(3 * slot - 3); }
    static quint16 pass(int slot) { return quint16(3 * slot - 2); }
    static quint16 fail(int slot) { return quint16(3 * slot - 1); }

    // Writes the fixture file of slotCount slots at path, its module the one given; returns path.
    static QString write(const QString& path, const ModbusModule& module, int slotCount);
};

// A program that writes one JSON object per line on stdout, its lines parsed as they come; its
// waits run the event loop. The destructor kills it if it still runs.
class JsonProgram {
public:
    static constexpr int kWaitMs = 30000;

    JsonProgram(const QString& program, const QStringList& arguments);
    ~JsonProgram();
    JsonProgram(const JsonProgram&) = delete;
    JsonProgram& operator=(const JsonProgram&) = delete;

    // Every event so far, or those of one kind, optionally on one device.
    QList<QJsonObject> events(const QString& kind = {}, const QString& device = {});
    // Until count events of the kind have come; false when the program ended or the wait passed.
    bool waitFor(const QString& kind, qsizetype count, const QString& device = {});
    void writeLine(const QByteArray& line);
    void closeInput() { m_process.closeWriteChannel(); }
    // Until the program has ended by itself.
    bool waitForExit(int timeoutMs = kWaitMs);
    int exitCode() const { return m_process.exitCode(); }
    // Its standard error so far and its last few events, to tell why a run went as it did.
    QString story();

private:
    void readLines();

    QProcess m_process;
    QList<QJsonObject> m_events;
    QString m_errors;
};

} // namespace qt2xx::test
