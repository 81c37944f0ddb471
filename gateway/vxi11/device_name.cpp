#include "device_name.h"

#include <cstdio>

namespace gateway::vxi11 {

namespace {

bool starts_with(const char* name, std::size_t length, const char* prefix, std::size_t prefix_length) {
    if (length < prefix_length) return false;
    for (std::size_t i = 0; i < prefix_length; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

bool device_name_read(const char* name, std::size_t length, int default_address, int& address, char* text) {
    if (length == 5 && starts_with(name, length, "inst0", 5)) {
        address = default_address;
        std::snprintf(text, 16, "inst0");
        return true;
    }
    if (!starts_with(name, length, "gpib0,", 6)) return false;
    const std::size_t digits = length - 6;
    if (digits < 1 || digits > 2) return false;
    int value = 0;
    for (std::size_t i = 6; i < length; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        value = value * 10 + (name[i] - '0');
    }
    if (value > 30) return false;
    address = value;
    std::snprintf(text, 16, "gpib0,%u", static_cast<unsigned>(static_cast<unsigned char>(value)));
    return true;
}

}  // namespace gateway::vxi11
