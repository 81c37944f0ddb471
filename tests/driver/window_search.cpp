#include "window_search.h"

namespace driver {

namespace {

struct Search {
  const std::function<bool(HWND)>* accept;
  HWND found;
};

BOOL CALLBACK visit(HWND window, LPARAM search_pointer) {
  auto* search = reinterpret_cast<Search*>(search_pointer);
  if (!(*search->accept)(window)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND find_top_level_window(const std::function<bool(HWND)>& accept) {
  Search search{&accept, nullptr};
  EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD window_process(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

}  // namespace driver
