#pragma once

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <chrono>
#include <utility>

namespace qt2xx {

// Asks a worker that lives on a thread of its own to finish (its finish() quits the thread) and waits
// at most budget. True when both are gone. A worker still held up by a server that does not answer is
// left to end on its own, and whatever event loop is left then tidies up; a program that exits first
// leaves both behind, which is harmless. The owner's pointers are cleared either way.
template <typename Worker>
bool StopWorkerThread(QThread*& threadSlot, Worker*& workerSlot, const QObject* owner,
                      std::chrono::milliseconds budget) {
    if (!threadSlot)
        return true;
    QThread* thread = std::exchange(threadSlot, nullptr);
    Worker* worker = std::exchange(workerSlot, nullptr);
    QObject::disconnect(worker, nullptr, owner, nullptr);
    if (!thread->isRunning()) {
        delete worker;
        delete thread;
        return true;
    }
    QMetaObject::invokeMethod(
        worker, [worker] { worker->finish(); }, Qt::QueuedConnection);
    if (thread->wait(QDeadlineTimer(budget))) {
        delete worker;
        delete thread;
        return true;
    }
    QObject::connect(thread, &QThread::finished, thread, [thread, worker] {
        thread->wait();
        delete worker;
        thread->deleteLater();
    });
    return false;
}

} // namespace qt2xx
