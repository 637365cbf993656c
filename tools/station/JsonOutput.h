#pragma once

#include "station/Station.h"

#include <QByteArray>

#include <cstdio>

namespace station {

// One JSON object per line per event, flushed at once, and a summary when the station stops.
class JsonOutput {
public:
    JsonOutput(qt2xx::Station& station, std::FILE* out);
    void summary(int exitStatus);

private:
    void write(const QByteArray& line);
    void event(const qt2xx::PortEvent& event);

    qt2xx::Station& m_station;
    std::FILE* m_out;
};

} // namespace station
