#include "number_text.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "program_values.h"
#include "text_buffer.h"

namespace {

// Significant digits kept when reading a number. The rounding of a double never depends on more
// than 768 of them; of the digits after these only matters whether any of them is not zero.
constexpr int kept_digits_max = 800;

// A decimal exponent beyond this makes any kept digits infinite or zero.
constexpr std::int64_t exponent_limit = 100000;

// Exponent digits are read up to this; no text is long enough for its digits to make up for more.
constexpr std::int64_t exponent_read_limit = 1000000000000000;

// The kept digits, one more for the digits dropped, 'e', a sign and the exponent.
constexpr std::size_t plain_number_size = kept_digits_max + 16;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_exponent_letter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

std::int64_t clamp_exponent(std::int64_t exponent) {
    if (exponent > exponent_limit) return exponent_limit;
    if (exponent < -exponent_limit) return -exponent_limit;
    return exponent;
}

// Reads the optional exponent that starts at text ("e-12", "D+3"). A letter without digits
// after it is no exponent, and gives 0.
std::int64_t read_exponent(const char* text) {
    if (!is_exponent_letter(*text)) return 0;
    ++text;
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    std::int64_t exponent = 0;
    for (; is_digit(*text); ++text) {
        if (exponent < exponent_read_limit) exponent = exponent * 10 + (*text - '0');
    }
    return negative ? -exponent : exponent;
}

// printf writes the locale's decimal point; a message always carries a full stop.
void restore_full_stop(char* text) {
    const char* point = std::localeconv()->decimal_point;
    if (point == nullptr || point[0] == '\0' || std::strcmp(point, ".") == 0) return;
    char* found = std::strstr(text, point);
    if (found == nullptr) return;
    const std::size_t point_length = std::strlen(point);
    *found = '.';
    std::memmove(found + 1, found + point_length, std::strlen(found + point_length) + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Text to number. The digits are gathered into a plain form, significant digits and a decimal
// exponent ("12345e-2"), which from_chars rounds correctly and the same on every platform.
// ---------------------------------------------------------------------------------------------
double number_from_text(const char* text) {
    const char* p = text;
    while (is_blank(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;

    char plain[plain_number_size];
    int kept = 0;
    bool dropped_non_zero = false;
    bool any_digit = false;
    bool after_point = false;
    std::int64_t scale = 0;   // the number is the kept digits times ten to the power of scale
    for (;; ++p) {
        if (*p == '.' && !after_point) {
            after_point = true;
            continue;
        }
        if (!is_digit(*p)) break;
        any_digit = true;
        if (kept == 0 && *p == '0') {
            if (after_point) --scale;
        } else if (kept < kept_digits_max) {
            plain[kept++] = *p;
            if (after_point) --scale;
        } else {
            if (*p != '0') dropped_non_zero = true;
            if (!after_point) ++scale;
        }
    }
    if (!any_digit) return 0.0;
    if (kept == 0) return negative ? -0.0 : 0.0;

    // Any non-zero digit beyond the kept ones lies strictly between two kept values; one more
    // digit 1 stands for it and rounds the same way.
    if (dropped_non_zero) {
        plain[kept++] = '1';
        --scale;
    }
    const std::int64_t exponent = clamp_exponent(scale + read_exponent(p));

    char* end = plain + kept;
    *end++ = 'e';
    end = std::to_chars(end, plain + plain_number_size, exponent).ptr;

    double value = 0.0;
    const std::from_chars_result read = std::from_chars(plain, end, value);
    if (read.ec == std::errc::result_out_of_range) {
        // Out of range either way: the leading digit's power of ten tells which way.
        value = exponent + kept - 1 >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

// ---------------------------------------------------------------------------------------------
// Number to text: "%f" in scratch_text, zero without a sign.
// ---------------------------------------------------------------------------------------------
bool format_number(double value) {
    text_clear(scratch_text);
    if (!std::isfinite(value)) return false;
    if (value == 0.0) value = 0.0;   // -0 is written as 0.000000
    const int length = std::snprintf(scratch_text, sizeof scratch_text, "%f", value);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof scratch_text) {
        text_clear(scratch_text);
        return false;
    }
    restore_full_stop(scratch_text);
    return true;
}
