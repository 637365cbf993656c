#pragma once

#include "station/StationSession.h"

#include <QString>

namespace qt2xx::gang {

struct GangOptions {
    qt2xx::SessionOptions session; // setFile and ports empty: the start page asks for them
    QString operatorId;
    QString stationName; // empty: the host name
    QString fixtureFile; // the fixture's signals; read once the ports are known
    bool help = false;
};

// The --help text.
QString Usage();

// False with a one-line reason when the command line is not one the window understands.
bool ParseGangOptions(const QStringList& arguments, GangOptions& options, QString& error);

} // namespace qt2xx::gang
