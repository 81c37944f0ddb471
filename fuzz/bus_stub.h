// The bus library as the fuzz target sees it: it counts the calls, keeps the first message
// written, and answers every read with a reply that fills the whole buffer.
#pragma once

#include <cstddef>

constexpr std::size_t stub_message_size = 512;

struct BusCalls {
    int writes;
    int reads;
    char first_message[stub_message_size];   // cut, but never longer than a message may be
    std::size_t first_message_length;        // as handed over, uncut
};

extern BusCalls bus_calls;

void bus_stub_reset();
