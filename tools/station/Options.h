#pragma once

#include "record/ServerAddress.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace station {

inline constexpr int kExitAllFinished = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitRefused = 2;
inline constexpr int kExitNoPort = 3;

struct Options {
    QString setFile;
    QStringList ports;
    int count = 0;
    bool json = false;
    bool listPorts = false;
    bool help = false;
    bool record = true;
    QString recordPath;                               // empty: the default database
    std::optional<qt2xx::ServerAddress> recordServer; // records are also forwarded there
};

extern const char* const kUsage;

// False with a one-line reason when the command line is not one the station understands.
bool ParseOptions(const QStringList& arguments, Options& options, QString& error);

} // namespace station
