// Small readers for the texts of the configuration variables.
#pragma once

#include <cstdint>
#include <string_view>

namespace sim {

// The text without leading and trailing blanks (spaces and tabs).
std::string_view trim_blanks(std::string_view text);

// A whole text of decimal digits with an optional sign, within the 32-bit signed range.
bool read_int32(std::string_view text, std::int32_t& value);

// A whole text of decimal digits (no sign), at most max.
bool read_unsigned(std::string_view text, std::uint64_t max, std::uint64_t& value);

// The next piece of text up to the separator (not included); text moves past the separator.
// Returns false once the text is used up.
bool next_piece(std::string_view& text, char separator, std::string_view& piece);

}  // namespace sim
