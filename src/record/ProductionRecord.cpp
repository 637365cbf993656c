#include "record/ProductionRecord.h"

namespace qt2xx {

QString ResultName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Finished:
        return QStringLiteral("finished");
    case Outcome::TransmitFailure:
        return QStringLiteral("transmit-failure");
    case Outcome::StorageFailure:
        return QStringLiteral("storage-failure");
    case Outcome::NoResponse:
        return QStringLiteral("no-response");
    case Outcome::NoStorageResponse:
        return QStringLiteral("no-storage-response");
    }
    return {};
}

std::optional<Outcome> OutcomeFromResultName(const QString& name) {
    for (Outcome outcome : kOutcomes)
        if (ResultName(outcome) == name)
            return outcome;
    return std::nullopt;
}

} // namespace qt2xx
