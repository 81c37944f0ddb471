// One client's incoming line, assembled in a fixed buffer from whatever pieces the connection
// delivers. A line ends with a line feed; a carriage return right before it is dropped. A line of
// more than message_max bytes, or one holding a zero byte, is refused whole.
#pragma once

#include <cstddef>

#include "message_rules.h"

namespace gateway {

enum class LineVerdict { incomplete, line, too_long, zero_byte };

struct LineInput {
    // message_max bytes, a carriage return that may still be dropped, the terminator.
    char text[message_max + 2];
    std::size_t length;   // bytes kept in text (at most message_max + 1)
    bool over_long;       // bytes were dropped: the line is refused
    bool has_zero;
};

void line_input_reset(LineInput& input);

// Takes bytes from data up to and including the first line feed and returns how many it took.
// verdict tells whether a line ended there and what became of it. For LineVerdict::line, text holds
// the line (without its ending), zero-terminated, length bytes; for a refusal, text holds its
// first bytes. Call line_input_reset before taking the next line's bytes.
std::size_t line_input_take(LineInput& input, const char* data, std::size_t size, LineVerdict& verdict);

}  // namespace gateway
