#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <termios.h>

namespace qt2xx::test {

// A pseudo-terminal that plays the far end of a serial line in tests. The port under test opens
// slavePath(); the test reads and writes the master side. The helper keeps a descriptor of its own
// on the slave side, so the port may close and reopen the device without the master seeing a
// hang-up. Both sides are raw: every byte value crosses unchanged.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    // The master side, non-blocking, for a writer that runs on a thread of its own.
    int masterDescriptor() const { return m_master; }

    // Sends bytes to whoever has the slave side open, as a device would.
    bool write(QByteArrayView bytes);

    // Everything the port has written to the slave side so far, and nothing more. A marker goes
    // through the helper's own slave descriptor behind those bytes, and the master is read until
    // the marker arrives, so the result is exact without waiting for a time. Empty on a timeout.
    QByteArray takeWritten(int timeoutMs = 5000);

    // Reads the master until at least n bytes have come or the time is up; for a writer that is
    // not finished when the call is made.
    QByteArray readAtLeast(qsizetype n, int timeoutMs = 5000);

    // The line settings the device has now, as the port left them.
    termios lineSettings() const;

    // Closes both sides: the device disappears, as when an adapter is pulled.
    void close();

private:
    bool fill(int timeoutMs);

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_pending;
};

} // namespace qt2xx::test
