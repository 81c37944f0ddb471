// The connections served at once, raw socket and VXI-11 together.
#pragma once

#include <cstddef>

namespace gateway {

constexpr std::size_t connection_max = 16;

// Counts one more connection; false (nothing counted) when connection_max are served already.
bool connection_take();
void connection_give_back();

}  // namespace gateway
