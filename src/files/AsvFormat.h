#pragma once

#include "params/ParameterTable.h"
#include "params/ParameterValues.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace qt2xx {

// One field of a parameter file and the line (counted from 1) on which it begins.
struct AsvField {
    QString text;
    int line = 1;
};

// Splits a parameter file into fields. Spaces before a field are skipped; a field that begins with
// a double quote runs to the next double quote and whatever follows the closing quote up to the
// next delimiter is ignored; any other field runs to the next comma, carriage return or line feed,
// or to the end. CR LF counts as one line end. The end is tested before each field, so a file that
// ends in a line end has no empty last field. Reading stops after maxFields fields.
std::vector<AsvField> ReadAsvFields(const QByteArray& bytes, int maxFields = -1);

// The choice a text selects: the exact text first; failing that, the choice equal to it when
// trailing blanks are ignored on both sides; failing that, the same ignoring letter case.
// Returns the index of the choice, or -1 when none matches.
int MatchChoice(const QStringList& choices, const QString& text);

// Why a file does not hold a complete parameter set.
struct AsvProblem {
    enum class Kind { TooFewFields, NoSuchChoice };
    Kind kind = Kind::TooFewFields;
    int line = 0;      // the line of the refused field; for TooFewFields the number of fields found
    int parameter = 0; // the parameter whose field is missing or refused
    QString text;      // the refused text

    // One line naming the line, the text and the parameter, e.g.
    // line 3: "7.25" is not a choice of Rated Current(A).
    QString message() const;
};

// A complete parameter set read from a file: the chosen item of each of the 26 lists.
struct AsvParameterSet {
    std::array<int, kParameterCount> choice{}; // index into ParameterTable()[i].choices
    QString text(int parameter) const;         // the choice's text as the list holds it
};

struct AsvReadResult {
    std::optional<AsvParameterSet> set;
    AsvProblem problem; // meaningful when set is empty
};

// Reads and matches a whole file: either all 26 parameters or the first problem. Fields after
// the 26th are ignored.
AsvReadResult ReadAsvParameterSet(const QByteArray& bytes);
// The same for a file already split into fields.
AsvReadResult ReadAsvParameterSet(const std::vector<AsvField>& fields);

// The bytes STORE writes: slots 0 to 25, each followed by CR LF, nothing else.
QByteArray WriteAsv(const ParameterValues& values);

} // namespace qt2xx
