#include "link/SequencerMessages.h"

namespace qt2xx {

LogEntry OutcomeLogEntry(Outcome outcome) {
    switch (outcome) {
    case Outcome::Finished:
        return {kFinishedMessage, kLogBlue};
    case Outcome::TransmitFailure:
        return {kTransmitFailureMessage, kLogRed};
    case Outcome::StorageFailure:
        return {kStorageFailureMessage, kLogRed};
    case Outcome::NoResponse:
        return {kNoResponseMessage, kLogRed};
    case Outcome::NoStorageResponse:
        return {kNoStorageResponseMessage, kLogRed};
    }
    return {};
}

} // namespace qt2xx
