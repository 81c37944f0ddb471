// Bounded copying into fixed text buffers. A text never runs past its buffer: what does not fit
// is refused and the buffer keeps what it held.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// Fills the whole buffer with zero bytes.
template <std::size_t N>
void text_clear(char (&buffer)[N]) { std::memset(buffer, 0, N); }

// Appends text after the buffer's current text. Returns false, changing nothing, when the
// result would not fit with its terminating zero byte.
inline bool text_append(char* buffer, std::size_t size, std::string_view text) {
    const std::size_t used = strnlen(buffer, size);
    if (used >= size || text.size() > size - used - 1) return false;
    std::memcpy(buffer + used, text.data(), text.size());
    buffer[used + text.size()] = '\0';
    return true;
}

template <std::size_t N>
bool text_append(char (&buffer)[N], std::string_view text) { return text_append(buffer, N, text); }

// Copies at most N - 1 bytes of text into the zero-filled buffer, cutting what is longer.
template <std::size_t N>
void text_copy_cut(char (&buffer)[N], const char* text) {
    text_clear(buffer);
    std::strncpy(buffer, text, N - 1);
}
