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

// ----- The x87 unit's control word, on 32-bit x86 ------------------------------------------
// There every double is computed in the x87 unit, by default with 64-bit significands. The
// conversion's quick path multiplies or divides two exact doubles, which must be rounded once, to
// 53 bits: rounded first to 64 and then to 53 bits, a value can end one unit off. So the reading
// runs with 53-bit precision and rounding to nearest, all exceptions masked, and then gives the
// caller's control word back.
#if defined(__i386__)
using ControlWord = std::uint16_t;

constexpr ControlWord precision_and_rounding_bits = 0x0F00;
constexpr ControlWord exception_mask_bits = 0x003F;
constexpr ControlWord double_precision_bits = 0x0200;   // 53 bits, round to nearest

ControlWord x87_control_word() {
    ControlWord word = 0;
    asm volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

void x87_load_control_word(ControlWord word) { asm volatile("fldcw %0" : : "m"(word) : "memory"); }

double read_plain_number(const char* first, const char* last, std::from_chars_result& read) {
    const ControlWord found = x87_control_word();
    x87_load_control_word(static_cast<ControlWord>((found & ~(precision_and_rounding_bits | exception_mask_bits)) |
                                                   double_precision_bits | exception_mask_bits));
    double value = 0.0;
    read = std::from_chars(first, last, value);
    x87_load_control_word(found);
    return value;
}
#else
double read_plain_number(const char* first, const char* last, std::from_chars_result& read) {
    double value = 0.0;
    read = std::from_chars(first, last, value);
    return value;
}
#endif

// ----- Fixed-point text without printf -------------------------------------------------------
// A finite double is an integer significand times a power of two. Below 2^64 its whole part fits
// a 64-bit integer, and its fraction times 10^6 takes at most 73 bits, kept in two words; the six
// digits are rounded from those bits exactly as printf rounds (to nearest, ties to even). Larger
// values go to snprintf.

constexpr int significand_bits = 52;
constexpr int exponent_bias = 1075;   // of the integer significand
constexpr int largest_exact_shift = 11;   // a 53-bit significand shifted by 11 stays below 2^64
constexpr int fraction_bits_max = 73;     // any shift beyond rounds below half a millionth
constexpr std::uint32_t millionths_per_unit = 1000000;

// The 73-bit product of a fraction below 2^53 and 10^6, as high and low words.
struct WideProduct {
    std::uint64_t high;
    std::uint64_t low;
};

WideProduct times_a_million(std::uint64_t fraction) {
    const std::uint64_t low_part = (fraction & 0xFFFFFFFFu) * millionths_per_unit;
    const std::uint64_t high_part = (fraction >> 32) * millionths_per_unit;
    const std::uint64_t shifted = high_part << 32;
    const std::uint64_t low = low_part + shifted;
    return {(high_part >> 32) + (low < shifted ? 1 : 0), low};
}

bool bit_is_set(const WideProduct& n, int bit) {
    return bit < 64 ? ((n.low >> bit) & 1) != 0 : ((n.high >> (bit - 64)) & 1) != 0;
}

// Any bit below the given one set?
bool bits_below(const WideProduct& n, int bit) {
    if (bit <= 64) return bit > 0 && (n.low & (~std::uint64_t{0} >> (64 - bit))) != 0;
    return n.low != 0 || (n.high & (~std::uint64_t{0} >> (128 - bit))) != 0;
}

std::uint64_t shifted_right(const WideProduct& n, int shift) {
    if (shift >= 64) return n.high >> (shift - 64);
    return (n.low >> shift) | (n.high << (64 - shift));
}

// Writes the decimal digits of n at text, returns the end.
char* write_digits(char* text, std::uint64_t n) {
    char reversed[20];
    int count = 0;
    while (n > 0xFFFFFFFFu) {
        reversed[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    }
    auto small = static_cast<std::uint32_t>(n);
    do {
        reversed[count++] = static_cast<char>('0' + small % 10);
        small /= 10;
    } while (small != 0);
    while (count > 0) *text++ = reversed[--count];
    return text;
}

// "%f" of a finite value below 2^64 in magnitude, into text (at least 29 bytes); returns false
// for a larger value, writing nothing.
bool write_fixed_point(double value, char* text) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased_exponent = static_cast<int>((bits >> significand_bits) & 0x7FF);
    std::uint64_t significand = bits & ((std::uint64_t{1} << significand_bits) - 1);
    int exponent = 1 - exponent_bias;   // subnormal
    if (biased_exponent != 0) {
        significand |= std::uint64_t{1} << significand_bits;
        exponent = biased_exponent - exponent_bias;
    }
    if (exponent > largest_exact_shift) return false;

    std::uint64_t whole = 0;
    std::uint32_t millionths = 0;
    if (exponent >= 0) {
        whole = significand << exponent;
    } else if (-exponent <= fraction_bits_max) {
        const int shift = -exponent;
        whole = shift < 64 ? significand >> shift : 0;
        const std::uint64_t fraction = shift < 64 ? significand - (whole << shift) : significand;
        const WideProduct scaled = times_a_million(fraction);
        millionths = static_cast<std::uint32_t>(shifted_right(scaled, shift));
        const bool round_up = bit_is_set(scaled, shift - 1) && (bits_below(scaled, shift - 1) || (millionths & 1) != 0);
        if (round_up && ++millionths == millionths_per_unit) {
            millionths = 0;
            ++whole;
        }
    }

    if (negative && significand != 0) *text++ = '-';   // zero has no sign, anything else keeps it
    text = write_digits(text, whole);
    *text++ = '.';
    for (int place = 5; place >= 0; --place) {
        text[place] = static_cast<char>('0' + millionths % 10);
        millionths /= 10;
    }
    text[6] = '\0';
    return true;
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

    std::from_chars_result read{};
    double value = read_plain_number(plain, end, read);
    if (read.ec == std::errc::result_out_of_range) {
        // Out of range either way: the leading digit's power of ten tells which way.
        value = exponent + kept - 1 >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

// ---------------------------------------------------------------------------------------------
// Number to text: "%f" in scratch_text, zero without a sign. Written here below 2^64; larger
// values by snprintf, whose decimal point is then made a full stop whatever the locale.
// ---------------------------------------------------------------------------------------------
bool format_number(double value) {
    text_clear(scratch_text);
    if (!std::isfinite(value)) return false;
    if (write_fixed_point(value, scratch_text)) return true;
    const int length = std::snprintf(scratch_text, sizeof scratch_text, "%f", value);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof scratch_text) {
        text_clear(scratch_text);
        return false;
    }
    restore_full_stop(scratch_text);
    return true;
}
