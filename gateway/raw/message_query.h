// Whether a message asks the instrument for a reply.
#pragma once

#include <cstddef>

namespace gateway {

// True when one of the message's units (joined by ';') has a header ending in '?'. Semicolons and
// question marks inside quoted strings ("..." or '...', a doubled quote standing for itself) and in
// parameters do not count.
bool message_has_query(const char* text, std::size_t length);

}  // namespace gateway
