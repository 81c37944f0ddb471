// The driver's reading of a message box's icon, on boxes of known kind shown by a thread of the driver
// itself: every system icon is told apart from the others and from no icon, on a box just shown.
#include "message_box_window.h"
#include "polling.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace driver {
namespace {

struct BoxKind {
  const char* name;
  UINT flags;
  const char* icon;
};

std::ostream& operator<<(std::ostream& out, const BoxKind& kind) { return out << kind.name; }

class MessageBoxIcon : public ::testing::TestWithParam<BoxKind> {};

TEST_P(MessageBoxIcon, IsReadFromTheScreenAsShown) {
  // The box and its owner live on a thread of their own, which runs the box's modal loop as the
  // program's thread would.
  std::atomic<HWND> owner{nullptr};
  const UINT flags = GetParam().flags;
  std::thread shower([&owner, flags] {
    HWND window = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    owner = window;
    if (!window) return;
    MessageBoxW(window, L"text", L"caption", flags);
    DestroyWindow(window);
  });
  std::string seen;
  try {
    if (!wait_until([&] { return owner.load() != nullptr; }, kActionLimit)) throw std::runtime_error("no owner window");
    const MessageBoxWindow box = MessageBoxWindow::wait_for(owner);
    seen = box.icon();
    box.press_ok();
  } catch (const std::exception& failure) {
    ADD_FAILURE() << failure.what();
    if (owner.load()) PostMessageW(owner, WM_CLOSE, 0, 0);
  }
  shower.join();
  EXPECT_EQ(seen, GetParam().icon);
}

INSTANTIATE_TEST_SUITE_P(EachKind, MessageBoxIcon,
                         ::testing::Values(BoxKind{"Error", MB_ICONERROR, "error"},
                                           BoxKind{"Warning", MB_ICONWARNING, "warning"},
                                           BoxKind{"Information", MB_ICONINFORMATION, "information"},
                                           BoxKind{"Question", MB_ICONQUESTION, "question"},
                                           BoxKind{"NoIcon", MB_OK, "none"}),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace driver
