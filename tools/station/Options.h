#pragma once

#include "record/RecordOptions.h"

#include <QString>
#include <QStringList>

namespace qt2xx::station {

struct Options {
    QString setFile;   // empty with an order: the order names the set
    QString orderFile; // --order ORDER.json
    bool scan = false; // --scan, or implied by an order's serial pattern
    bool rework = false;
    QStringList ports;
    int count = 0;
    bool json = false;
    bool listPorts = false;
    bool help = false;
    qt2xx::RecordOptions record; // kept in the default database unless told otherwise
};

// The --help text.
QString Usage();

// False with a one-line reason when the command line is not one the station understands.
bool ParseOptions(const QStringList& arguments, Options& options, QString& error);

} // namespace qt2xx::station
