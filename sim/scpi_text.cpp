#include "scpi_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// One keyword against its pattern: the pattern's capitals (short form) or the whole pattern.
bool keyword_matches(std::string_view pattern, std::string_view word) {
    std::size_t short_length = 0;
    while (short_length < pattern.size() && !(pattern[short_length] >= 'a' && pattern[short_length] <= 'z')) ++short_length;
    return same_letters(pattern.substr(0, short_length), word) || same_letters(pattern, word);
}

std::size_t skip_digits(std::string_view text, std::size_t at) {
    while (at < text.size() && is_digit(text[at])) ++at;
    return at;
}

}  // namespace

std::string_view trim_message(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

bool header_matches(std::string_view pattern, std::string_view header) {
    for (;;) {
        const std::size_t p = pattern.find(':');
        const std::size_t h = header.find(':');
        if (!keyword_matches(pattern.substr(0, p), header.substr(0, h))) return false;
        if (p == std::string_view::npos || h == std::string_view::npos) return p == h;
        pattern.remove_prefix(p + 1);
        header.remove_prefix(h + 1);
    }
}

// ---- numbers ----
bool read_decimal(std::string_view text, double& value) {
    if (!text.empty() && (text.front() == '+')) text.remove_prefix(1);
    std::size_t at = (!text.empty() && text.front() == '-') ? 1 : 0;
    const std::size_t mantissa_start = at;
    at = skip_digits(text, at);
    std::size_t digit_count = at - mantissa_start;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fraction_start = ++at;
        at = skip_digits(text, at);
        digit_count += at - fraction_start;
    }
    if (digit_count == 0) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        const std::size_t exponent_start = at;
        at = skip_digits(text, at);
        if (at == exponent_start) return false;
    }
    if (at != text.size()) return false;
    double read = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, read);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(read)) return false;
    value = read;
    return true;
}

// The C runtime may write three exponent digits; the instrument writes two unless more are needed.
void format_real(double value, char* out, std::size_t size) {
    if (!out || size == 0) return;
    char text[64];
    std::snprintf(text, sizeof text, "%+.6E", value);
    char* exponent = std::strchr(text, 'E');
    if (exponent && (exponent[1] == '+' || exponent[1] == '-')) {
        char* digits = exponent + 2;
        std::size_t count = std::strlen(digits);
        while (count > 2 && digits[0] == '0') {
            std::memmove(digits, digits + 1, count);
            --count;
        }
    }
    std::snprintf(out, size, "%s", text);
}

}  // namespace sim
