#include "platform/core/StopSignals.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace qt2xx {
namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int number) {
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}

void handle(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(BrokenPipe brokenPipe, QObject* parent) : QObject(parent) {
    if (brokenPipe == BrokenPipe::Ignore)
        ::signal(SIGPIPE, SIG_IGN);
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::drain);
    handle(onSignal);
}

StopSignals::~StopSignals() {
    if (!m_notifier)
        return;
    handle(SIG_DFL);
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::drain() {
    unsigned char bytes[16];
    ssize_t count = 0;
    int last = 0;
    while ((count = ::read(g_pipe[0], bytes, sizeof bytes)) > 0)
        last = bytes[count - 1];
    if (last != 0)
        Q_EMIT stopRequested(last);
}

} // namespace qt2xx
