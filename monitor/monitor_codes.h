// What every bus call returns when the monitor has no working library behind it. Values chosen far
// from the small codes bus libraries use, so that a log or a status line shows at once that the
// monitor, not the bus, refused the call.
#pragma once

#include <cstdint>

namespace monitor_code {

// The library named by TAVERIX_MONITOR_TARGET (or TAVERIX-real.dll beside the monitor) could not
// be loaded: missing, not a DLL, built for the other bitness, or the path is too long.
constexpr std::int32_t target_not_loaded = -7316001;
// The library was loaded but does not export one of the ten bus functions.
constexpr std::int32_t target_incomplete = -7316002;

}  // namespace monitor_code
