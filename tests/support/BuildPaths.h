#pragma once

#include <QString>
#include <QStringView>

namespace qt2xx::test {

// Where the programs this build made and the source tree's files are. Only BuildPaths.cpp is compiled
// with those folders, so every other test object is the same in every clone and the compiler cache
// finds it again.
QString ProgramPath(QStringView name);      // a program of this build, e.g. u"qt2xx-station"
QString TestDataPath(QStringView relative); // a file below tests/data
QString SourcePath(QStringView relative);   // a file below the top of the source tree

// The path of the virtual controller this build made.
QString ControllerSimPath();

} // namespace qt2xx::test
