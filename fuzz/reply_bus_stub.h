// The bus library as the gateway's fuzz targets see it: gp_wrt keeps the message and the reply
// the target's reply_to makes of it, each address's instrument its own; gp_red hands that reply
// out one buffer at a time and fails with 4, as at the library's time-out, when none is left;
// gp_clr drops it. Every other call succeeds. Every call is counted.
#pragma once

#include <string>

struct ReplyBus {
    std::string written;      // the last message
    std::string reply_left[32];   // by GPIB address, 0-30 (31: any other text)
    int writes;
    int clears;
    long calls;   // every call of the ten, gp_init included
};

extern ReplyBus reply_bus;

// The reply left at a gp_* address text.
std::string& reply_left_at(const char* address);

// Defined by the target: the instrument's reply to message written to address, "" for none. It
// may check what reached the bus.
std::string reply_to(const char* address, const char* message);
