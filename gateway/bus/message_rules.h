// What a message to the instrument may be, and whether it asks for a reply: the same for every
// protocol that reaches the bus.
#pragma once

#include <cstddef>

namespace gateway {

// The longest message the bus carries: one of the bus library's texts, its terminator aside.
constexpr std::size_t message_max = 255;

// True when one of the message's units (joined by ';') has a header ending in '?'. Semicolons and
// question marks inside quoted strings ("..." or '...', a doubled quote standing for itself) and in
// parameters do not count.
bool message_has_query(const char* text, std::size_t length);

}  // namespace gateway
