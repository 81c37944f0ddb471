#include "reply_table.h"

#include <cstring>

#include "config_text.h"
#include "sim_trace.h"
#include "scpi_text.h"

namespace sim {

namespace {

constexpr std::string_view variable_name = "TAVERIX_SIM_REPLIES";

constexpr std::size_t query_capacity = 128;

struct ChosenReply {
    char query[query_capacity];
    std::size_t query_size;
    char text[reply_text_capacity];
    std::size_t text_size;
};

constexpr std::size_t reply_capacity = 32;
ChosenReply replies[reply_capacity];
std::size_t reply_count = 0;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes the escapes of a reply text; false when one is unknown or the text is too long.
bool decode_text(std::string_view text, ChosenReply& reply) {
    reply.text_size = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            if (++i == text.size()) return false;
            switch (text[i]) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case 't': c = '\t'; break;
                case '\\': c = '\\'; break;
                case '|': c = '|'; break;
                case 'x': {
                    if (i + 2 >= text.size()) return false;
                    const int high = hex_value(text[i + 1]);
                    const int low = hex_value(text[i + 2]);
                    if (high < 0 || low < 0) return false;
                    c = static_cast<char>(high * 16 + low);
                    i += 2;
                    break;
                }
                default: return false;
            }
        }
        if (reply.text_size == reply_text_capacity) return false;
        reply.text[reply.text_size++] = c;
    }
    return true;
}

bool read_reply(std::string_view entry, ChosenReply& reply) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view query = trim_blanks(entry.substr(0, equals));
    if (query.empty() || query.size() > query_capacity) return false;
    std::memcpy(reply.query, query.data(), query.size());
    reply.query_size = query.size();
    return decode_text(entry.substr(equals + 1), reply);
}

void add_entry(std::string_view entry) {
    if (trim_blanks(entry).empty()) return;
    if (reply_count == reply_capacity) {
        trace_note(variable_name, "ignored, too many entries:", entry);
    } else if (!read_reply(entry, replies[reply_count])) {
        trace_note(variable_name, "ignored, not QUERY=TEXT with known escapes and at most 1024 bytes:", entry);
    } else {
        ++reply_count;
    }
}

}  // namespace

void replies_configure(const char* text) {
    reply_count = 0;
    if (!text) return;
    // Entries end at a '|' that is not escaped.
    const std::string_view all(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\\') {
            ++i;
        } else if (all[i] == '|') {
            add_entry(all.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < all.size()) add_entry(all.substr(start));
}

bool reply_for_message(std::string_view message, const char*& reply, std::size_t& reply_size) {
    const std::string_view wanted = trim_message(message);
    for (std::size_t i = 0; i < reply_count; ++i) {
        if (same_letters(std::string_view(replies[i].query, replies[i].query_size), wanted)) {
            reply = replies[i].text;
            reply_size = replies[i].text_size;
            return true;
        }
    }
    return false;
}

}  // namespace sim
