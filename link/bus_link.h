// The link to the one instrument: bring-up and release.
#pragma once

#include "link_result.h"

// Stores the first 11 bytes of address_text in device_address, then opens the interface, clears the
// bus and the instrument and locks the instrument into remote control. Stops at the first tested
// call that fails; nothing done before it is undone.
LinkResult bus_bring_up(const char* address_text);

// The same without the local lockout (gp_llo): the instrument's own front panel stays usable.
LinkResult bus_bring_up_without_lockout(const char* address_text);

// Hands every instrument back to local control. Its status is not looked at.
void bus_release();
