// What a link operation hands back to the panel.
#pragma once

struct LinkResult {
    bool ok;
    const char* status_text;   // for the status line; never null ("" when there is nothing to say)
};
