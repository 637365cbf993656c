#pragma once

#include "station/ProductionOptions.h"

#include <QString>
#include <QStringList>

namespace qt2xx::station {

struct Options {
    QString setFile; // empty with an order: the order names the set
    QStringList ports;
    bool json = false;
    bool listPorts = false;
    bool help = false;
    qt2xx::ProductionOptions production; // records kept in the default database unless told otherwise
};

// The station's own options, then the ones it shares with the other faces.
qt2xx::OptionSpecs OptionDeclarations();

// The --help text.
QString Usage();

// The arguments without the program's name; false with a one-line reason when the command line is
// not one the station understands.
bool ParseOptions(const QStringList& arguments, Options& options, QString& error);

} // namespace qt2xx::station
