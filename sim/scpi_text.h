// The instrument's reading and writing of its command language: keywords with short and long
// forms, decimal numbers, and numbers in replies.
#pragma once

#include <cstddef>
#include <string_view>

namespace sim {

// The text without leading and trailing white space (space, tab, carriage return, line feed).
std::string_view trim_message(std::string_view text);

// Equal texts, ignoring the case of ASCII letters.
bool same_letters(std::string_view a, std::string_view b);

// Whether a header such as "offs:stat" names the header pattern "OFFSet:STATe": keyword by
// keyword, either the short form (the capitals) or the whole keyword, in any letter case.
bool header_matches(std::string_view pattern, std::string_view header);

// A decimal number: optional sign, digits with at most one point, optional exponent (e or E,
// optional sign, digits); the whole text, nothing else. False for anything else or out of range.
bool read_decimal(std::string_view text, double& value);

// A number as the instrument writes it, like printf "%+.6E" with a two-digit exponent at least:
// 1000 gives "+1.000000E+03". Always terminated within size.
void format_real(double value, char* out, std::size_t size);

}  // namespace sim
