// Feeds 100,000 messages with random codes into the status log of a shown window and prints the cost
// per thousand at the start and at the end, beside the whole-text-replacing log over the first 5,000.
// Every hundredth message is followed by the event processing of the window, repaint included, so the
// figures hold the cost of showing the log as well. Prints figures only; it never fails on time.

#include "LogWindow.h"
#include "link/SequencerMessages.h"
#include "platform/widgets/RichTextBox.h"
#include "ui/StatusLogBox.h"
#include "ui/tst_statuslog_reference.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>
#include <numeric>
#include <random>
#include <span>
#include <vector>

using namespace qt2xx;

using namespace qt2xx::bench;

namespace {

constexpr int kMessageCount = 100'000;
constexpr int kReferenceCount = 5'000;
constexpr int kBlock = 1'000;
constexpr int kMessagesPerRepaint = 100;
constexpr double kTargetRatio = 1.5;
constexpr double kTargetTotalMs = 5'000;

struct Message {
    QString text;
    int code = 0;
};

std::vector<Message> randomMessages(int count) {
    const QStringList texts = {kStartTransmit,         kFinishedMessage,   kTransmitFailureMessage,
                               kStorageFailureMessage, kNoResponseMessage, kNoStorageResponseMessage,
                               kCommClosedMessage};
    const std::vector<int> codes = {0, 1, 2, 3, 7};
    std::mt19937 random(12345);
    std::uniform_int_distribution<qsizetype> text(0, texts.size() - 1);
    std::uniform_int_distribution<std::size_t> code(0, codes.size() - 1);
    std::vector<Message> messages(count);
    for (Message& message : messages)
        message = {texts[text(random)], codes[code(random)]};
    return messages;
}

// Milliseconds for each thousand messages, by the wall clock and in processor time. Other programs on a
// shared machine stretch the first; the second shows what the log itself costs.
struct Timing {
    std::vector<double> wall;
    std::vector<double> cpu;
};

double cpuMs() {
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

Timing feed(StatusLog& log, std::span<const Message> messages) {
    Timing timing;
    QElapsedTimer timer;
    for (std::size_t from = 0; from < messages.size(); from += kBlock) {
        timer.start();
        const double cpuStart = cpuMs();
        for (std::size_t i = from; i < from + kBlock; ++i) {
            log.ReceiveDisplay(messages[i].text, LogColor(messages[i].code));
            if ((i + 1) % kMessagesPerRepaint == 0)
                QCoreApplication::processEvents();
        }
        timing.wall.push_back(double(timer.nsecsElapsed()) / 1e6);
        timing.cpu.push_back(cpuMs() - cpuStart);
    }
    return timing;
}

double total(const std::vector<double>& blocks) {
    return std::accumulate(blocks.begin(), blocks.end(), 0.0);
}

void report(const char* name, const std::vector<double>& blocks) {
    std::printf(
        "%-34s %6zu msgs  first 1000: %8.1f ms  last 1000: %8.1f ms  last/first: %5.2f  total: %9.1f ms\n",
        name, blocks.size() * kBlock, blocks.front(), blocks.back(), blocks.back() / blocks.front(),
        total(blocks));
}

std::vector<double> firstBlocks(const std::vector<double>& blocks, int messageCount) {
    return {blocks.begin(), blocks.begin() + messageCount / kBlock};
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const std::vector<Message> messages = randomMessages(kMessageCount);

    LogWindow logWindow;
    StatusLogBox log(*logWindow.box);
    log.reset();
    const Timing constant = feed(log, messages);

    LogWindow referenceWindow;
    LiteralStatusLog reference(*referenceWindow.box);
    const Timing literal = feed(reference, std::span(messages).first(kReferenceCount));

    report("constant-cost log, wall", constant.wall);
    report("constant-cost log, cpu", constant.cpu);
    report("constant-cost log, first 5000, wall", firstBlocks(constant.wall, kReferenceCount));
    report("whole-text reference, wall", literal.wall);
    report("whole-text reference, cpu", literal.cpu);
    const double ratio = constant.wall.back() / constant.wall.front();
    std::printf("target (wall): last/first <= %.1f (%s), all %d under %.0f ms (%s)\n", kTargetRatio,
                ratio <= kTargetRatio ? "met" : "missed", kMessageCount, kTargetTotalMs,
                total(constant.wall) < kTargetTotalMs ? "met" : "missed");
    return 0;
}
