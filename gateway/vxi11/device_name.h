// The device names a VXI-11 link may ask for: "inst0", the instrument at --address, and "gpib0,N",
// the instrument at GPIB address N (0-30); either in any case.
#pragma once

#include <cstddef>

namespace gateway::vxi11 {

// The address named (default_address for inst0), and the name as the log shows it ("gpib0,4",
// "inst0"; text holds 16 bytes). False for any other name.
bool device_name_read(const char* name, std::size_t length, int default_address, int& address, char* text);

}  // namespace gateway::vxi11
