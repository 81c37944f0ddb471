// _CRT_RAND_S before stdlib.h: rand_s, the C runtime's call to the system's random source.
#define _CRT_RAND_S
#include "web_token.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sys/random.h>
#endif

namespace gateway::web {

namespace {

bool random_bytes(unsigned char* bytes, std::size_t n) {
#ifdef _WIN32
    for (std::size_t i = 0; i < n; i += 4) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) return false;
        for (std::size_t k = 0; k < 4 && i + k < n; ++k) bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
    }
    return true;
#else
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = getrandom(bytes + got, n - got, 0);
        if (r <= 0) return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
#endif
}

}  // namespace

bool token_make(char (&text)[token_length + 1]) {
    static constexpr char hex[] = "0123456789abcdef";
    unsigned char bytes[token_length / 2];
    if (!random_bytes(bytes, sizeof bytes)) return false;
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        text[2 * i] = hex[bytes[i] >> 4];
        text[2 * i + 1] = hex[bytes[i] & 0x0F];
    }
    text[token_length] = '\0';
    return true;
}

bool token_matches(const char* token, const char* given, std::size_t given_length) {
    if (given_length != token_length || std::strlen(token) != token_length) return false;
    unsigned difference = 0;
    for (std::size_t i = 0; i < token_length; ++i) {
        difference |= static_cast<unsigned char>(token[i]) ^ static_cast<unsigned char>(given[i]);
    }
    return difference == 0;
}

}  // namespace gateway::web
