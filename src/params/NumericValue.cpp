#include "params/NumericValue.h"

#include <charconv>
#include <limits>
#include <string>

namespace qt2xx {
namespace {

bool isBlank(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\n';
}

// Collects the leading number of a sequence of code points into plain ASCII.
template <typename Next> std::string leadingNumber(Next next) {
    std::string digits;
    bool point = false;
    for (char32_t c; next(c);) {
        if (isBlank(c))
            continue;
        if (c >= U'0' && c <= U'9') {
            digits.push_back(static_cast<char>(c));
        } else if (c == U'.' && !point) {
            point = true;
            digits.push_back('.');
        } else {
            break;
        }
    }
    return digits;
}

double parse(const std::string& digits) {
    if (digits.find_first_of("0123456789") == std::string::npos)
        return 0.0;
    double value = 0.0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Too many digits for a double: either far beyond its largest value or a vanishing fraction.
        const auto point = digits.find('.');
        const std::string whole = digits.substr(0, point);
        return whole.find_first_not_of('0') != std::string::npos ? std::numeric_limits<double>::infinity()
                                                                 : 0.0;
    }
    (void)ptr;
    return value;
}

} // namespace

double NumericValue(std::string_view text) {
    std::size_t i = 0;
    return parse(leadingNumber([&](char32_t& c) {
        if (i == text.size())
            return false;
        c = static_cast<unsigned char>(text[i++]);
        return true;
    }));
}

double NumericValue(QStringView text) {
    qsizetype i = 0;
    return parse(leadingNumber([&](char32_t& c) {
        if (i == text.size())
            return false;
        c = text[i++].unicode();
        return true;
    }));
}

} // namespace qt2xx
