#include "message_rules.h"

namespace gateway {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_quote(char c) { return c == '"' || c == '\''; }

}  // namespace

bool message_has_query(const char* text, std::size_t length) {
    std::size_t i = 0;
    while (i < length) {
        // The unit's header: from its first non-blank byte to a blank, ';' or quote.
        while (i < length && is_blank(text[i])) ++i;
        const std::size_t header_start = i;
        while (i < length && !is_blank(text[i]) && text[i] != ';' && !is_quote(text[i])) ++i;
        if (i > header_start && text[i - 1] == '?') return true;
        // The rest of the unit, up to a ';' outside quotes. A doubled quote closes and reopens.
        char quote = 0;
        while (i < length) {
            const char c = text[i++];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (is_quote(c)) {
                quote = c;
            } else if (c == ';') {
                break;
            }
        }
    }
    return false;
}

}  // namespace gateway
