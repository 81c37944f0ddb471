#include "line_input.h"

namespace gateway {

void line_input_reset(LineInput& input) {
    input.length = 0;
    input.over_long = false;
    input.has_zero = false;
    input.text[0] = '\0';
}

std::size_t line_input_take(LineInput& input, const char* data, std::size_t size, LineVerdict& verdict) {
    constexpr std::size_t kept_max = message_max + 1;
    verdict = LineVerdict::incomplete;
    for (std::size_t i = 0; i < size; ++i) {
        const char byte = data[i];
        if (byte == '\n') {
            if (input.length > 0 && input.text[input.length - 1] == '\r' && !input.over_long) --input.length;
            input.text[input.length] = '\0';
            if (input.over_long || input.length > message_max) {
                verdict = LineVerdict::too_long;
            } else if (input.has_zero) {
                verdict = LineVerdict::zero_byte;
            } else {
                verdict = LineVerdict::line;
            }
            return i + 1;
        }
        if (byte == '\0') input.has_zero = true;
        if (input.length < kept_max) {
            input.text[input.length++] = byte;
        } else {
            input.over_long = true;
        }
    }
    input.text[input.length] = '\0';
    return size;
}

}  // namespace gateway
