// One run of the gateway, whoever started it: bring the bus link up, open the listeners, serve until
// a stop is requested, then finish the transaction under way, hand the instrument back (gp_lcl) and
// close. A console start and the service manager both run it; each hears of the run through a
// RunWatch and asks it to stop through stop_request.h.
#pragma once

#include "command_line.h"

namespace gateway {

// How a run ended; the non-zero values are also the service's own exit codes.
enum class RunEnd : int {
    stopped = 0,           // after a stop request, the instrument handed back
    bring_up_failed = 1,   // the bus link could not be brought up (or its time-out set)
    cannot_serve = 2,      // no socket library, or no listener could be opened
};

// What the starter is told while the gateway runs. Each member may be null.
struct RunWatch {
    // A line for whoever watches: a start-up line ("listening on ...", failure false) or a failure's
    // text (failure true), without a line feed.
    void (*line)(const char* text, bool failure);
    // The bus link is up and the listeners are open.
    void (*serving)();
    // A stop request named name is being carried out.
    void (*stopping)(const char* name);
};

// Call after stop_requests_catch.
RunEnd run(const Options& options, const RunWatch& watch);

}  // namespace gateway
