// Replies of the tester's choosing, given in place of the instrument's own answer to a query.
//
// Read from a text of entries QUERY=TEXT joined by '|'. TEXT is taken byte for byte except for
// the escapes \n \r \t \\ \| and \xHH (two hex digits); an empty TEXT is an empty reply. A message
// written to the instrument that equals QUERY (ignoring letter case and surrounding blanks) is
// answered with TEXT exactly, without a line feed of its own. Entries that cannot be read are
// ignored, each with a note in the trace.
#pragma once

#include <cstddef>
#include <string_view>

namespace sim {

constexpr std::size_t reply_text_capacity = 1024;

// Replaces the table with the entries in text (null: none).
void replies_configure(const char* text);

// The chosen reply to this message, if there is one.
bool reply_for_message(std::string_view message, const char*& reply, std::size_t& reply_size);

}  // namespace sim
