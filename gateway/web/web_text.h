// Texts as they enter the page: every text from the instrument, a client or the log passes through
// one of these on its way into HTML, XML or JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gateway::web {

// Appends text with & < > " ' as character references: safe in HTML text, HTML attribute values
// (quoted) and XML alike.
void markup_append(std::string& out, std::string_view text);

// Appends text as a JSON string, quotes included. Control characters are escaped; bytes that are no
// valid UTF-8 become U+FFFD, so the result is always valid JSON.
void json_append(std::string& out, std::string_view text);

// Appends the bytes with control characters made visible as the log writes them (\n, \r, \t, \\,
// \xHH for the rest and for bytes from 0x7F up); the result is plain ASCII.
void visible_append(std::string& out, const char* data, std::size_t size);
// One byte so, at most four characters, into out; returns its length.
std::size_t visible_byte(unsigned char byte, char (&out)[5]);

// Whether a and b are equal, letter case aside (ASCII).
bool same_name(std::string_view a, std::string_view b);

}  // namespace gateway::web
