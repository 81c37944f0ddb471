#include "config_text.h"

namespace sim {

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool read_unsigned(std::string_view text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (v > (max - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

bool read_int32(std::string_view text, std::int32_t& value) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    if (!read_unsigned(text, negative ? 2147483648ULL : 2147483647ULL, magnitude)) return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude)) : static_cast<std::int32_t>(magnitude);
    return true;
}

bool next_piece(std::string_view& text, char separator, std::string_view& piece) {
    if (text.data() == nullptr) return false;
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        piece = text;
        text = std::string_view();
    } else {
        piece = text.substr(0, at);
        text = text.substr(at + 1);
    }
    return true;
}

}  // namespace sim
