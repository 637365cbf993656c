#pragma once

#include <QStringView>

#include <string_view>

namespace qt2xx {

// The number a text stands for: blanks (space, tab, line feed) are skipped wherever they stand,
// then the longest leading run of digits with at most one "." is read as a decimal number and
// rounded once to the nearest double. "." is the point in every locale. No leading number gives 0;
// a number too large for a double gives +infinity. It never fails.
double NumericValue(std::string_view text);
double NumericValue(QStringView text);

} // namespace qt2xx
