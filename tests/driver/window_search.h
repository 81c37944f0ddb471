// Finding another program's top-level windows.
#pragma once

#include <windows.h>

#include <functional>

namespace driver {

// The first top-level window, in z-order, that `accept` takes; nullptr when none does.
HWND find_top_level_window(const std::function<bool(HWND)>& accept);

// The process that made the window.
DWORD window_process(HWND window);

}  // namespace driver
