// The hash by which the number cases name a "%f" text: FNV-1a, 64 bits.
#pragma once

#include <cstdint>

inline std::uint64_t number_case_hash(const char* text) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (; *text != '\0'; ++text) {
        hash ^= static_cast<unsigned char>(*text);
        hash *= 0x100000001B3u;
    }
    return hash;
}
