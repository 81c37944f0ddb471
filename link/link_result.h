// What a link operation hands back to the panel.
#pragma once

#include "taverix.h"

struct LinkResult {
    bool ok;
    const char* status_text;   // for the status line; never null ("" when there is nothing to say)
};

// A failed bus call: the failure text, format with the call's status in place of its %d, built in
// scratch_text.
LinkResult bus_call_failure(const char* format, BusStatus status);
