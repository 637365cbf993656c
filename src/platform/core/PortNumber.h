#pragma once

#include <QString>
#include <QStringList>

namespace qt2xx {

// The devices a port box number may name, in the order they are tried: on Unix port n is
// ttyUSB<n-1>, then ttyACM<n-1>, then ttyS<n-1> in deviceDirectory; on Windows COM<n>. None for
// a number below 1.
QStringList PortNumberDevices(int number, const QString& deviceDirectory = QStringLiteral("/dev"));

// The port box number among whose devices this one is, by its name alone; 0 when none is.
int DevicePortNumber(const QString& device);

} // namespace qt2xx
