#pragma once

namespace qt2xx {

// How one controller's exchange ended; each has its line in the status log.
enum class Outcome {
    Finished,          // "Finished"
    TransmitFailure,   // "Transmit Failure": the frame was answered with something other than "Q"
    StorageFailure,    // "Storage Failure": the store was answered with something other than "R"
    NoResponse,        // "No responce": no answer to the frame
    NoStorageResponse, // "No Storage responce": no answer after "Q"
};

// What a run goes through, for parts that keep or show it beyond the window's log: the production
// record and the station. Every call comes right after the sequencer has acted and logged, on its
// thread; an observer must not call back into the sequencer.
class SequencerObserver {
public:
    virtual ~SequencerObserver() = default;
    virtual void runStarted() {}            // Start succeeded: the frame is built and the timer runs
    virtual void controllerAnswered() {}    // a controller answered "U": its exchange begins
    virtual void controllerDone(Outcome) {} // the exchange ended; the log has its line
    virtual void commLost() {}              // "The Comm is lost" was logged
    virtual void commBack() {}              // "The Comm is back" was logged
    virtual void runStopped() {}            // the run ended ("The Comm is Closed")
};

} // namespace qt2xx
