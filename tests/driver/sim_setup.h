// How the simulated instrument inside the started program behaves: the TAVERIX_SIM_* variables put
// into the program's environment. An empty text leaves its variable out.
#pragma once

#include <string>

namespace driver {

struct SimSetup {
  std::string faults;        // TAVERIX_SIM_FAULTS, e.g. "gp_tmout=7,gp_wrt#2=-5"
  std::string replies;       // TAVERIX_SIM_REPLIES, e.g. "*TST?=01|:FUNC?="
  std::string address;       // TAVERIX_SIM_ADDRESS, the instrument's bus address (default 4)
  std::string timeout_ms;    // TAVERIX_SIM_TIMEOUT_MS, milliseconds per time-out unit
  bool self_test_fails = false;  // TAVERIX_SIM_SELFTEST=fail
  bool never_replies = false;    // TAVERIX_SIM_NO_REPLY=1
  bool front_display = false;    // TAVERIX_SIM_DISPLAY=1 (else the driver's own TAVERIX_SIM_DISPLAY, if any)
};

}  // namespace driver
