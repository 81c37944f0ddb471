// The token that the page carries and every request that touches the bus must send back.
#pragma once

#include <cstddef>

namespace gateway::web {

constexpr std::size_t token_length = 32;   // hex digits: 128 bits from the system's random source

// A new token into text (token_length digits and a terminator). False when the system gave no
// random bytes.
bool token_make(char (&text)[token_length + 1]);

// Whether given equals token, in a time that does not depend on where they differ.
bool token_matches(const char* token, const char* given, std::size_t given_length);

}  // namespace gateway::web
