// The numeric value of any text: never fails, never negative, never NaN, and equal to the plain
// decimal reading of its digits once blanks are removed.
#include "params/NumericValue.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = qt2xx::NumericValue(text);
    if (std::isnan(value) || value < 0)
        std::abort();
    if (value != qt2xx::NumericValue(QStringView(QString::fromLatin1(text.data(), qsizetype(size)))))
        std::abort();

    std::string number;
    bool point = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        if (c >= '0' && c <= '9')
            number.push_back(c);
        else if (c == '.' && !point)
            point = true, number.push_back(c);
        else
            break;
    }
    if (number.find_first_of("0123456789") == std::string::npos) {
        if (value != 0)
            std::abort();
        return 0;
    }
    // strtod in the C locale is the reference reading; it rounds once, as the value must.
    const double reference = std::strtod(number.c_str(), nullptr);
    if (std::isfinite(reference) && reference != value && !(reference < 1e-300 && value == 0))
        std::abort();
    return 0;
}
