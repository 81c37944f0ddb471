// The panel's window and its controls as the dialog template makes them: in template order, with
// their ids, kinds, texts, positions (in dialog units of the panel's font) and styles.
#include "dialog_units.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "window_text.h"

#include <vector>

namespace driver {
namespace {

enum class Kind { kPushButton, kLabel, kEdit, kGroupBox, kRadioButton };

// Style bits an item must have and must not have, beyond those its kind implies.
struct ExpectedControl {
  int id;  // panel_id::kNoId for labels and group boxes
  Kind kind;
  const char* text;  // nullptr for edits, whose texts are checked elsewhere
  int x, y, width, height;
  LONG required_styles;
  LONG forbidden_styles;
};

constexpr LONG kNone = 0;
constexpr LONG kHorizontalAlignment = BS_LEFT | BS_RIGHT | BS_CENTER;

// Edits: border, tab stop, centred text that scrolls sideways, unless said otherwise.
constexpr LONG kEntry = ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr LONG kReadOnlyEntry = kEntry | ES_READONLY;

const std::vector<ExpectedControl> kTemplateOrder = {
    {panel_id::kExit, Kind::kPushButton, "終了", 117, 234, 36, 14, WS_TABSTOP, kNone},
    {panel_id::kNoId, Kind::kLabel, "QX7316 GPIBｱﾄﾞﾚｽ", 7, 7, 60, 10, SS_LEFT, kNone},
    {panel_id::kNoId, Kind::kLabel, "USB-GPIB ｱﾄﾞﾚｽ", 7, 36, 55, 10, SS_LEFT, kNone},
    {panel_id::kDeviceAddress, Kind::kEdit, nullptr, 43, 19, 15, 12, kEntry, ES_READONLY},
    {panel_id::kOwnAddress, Kind::kEdit, nullptr, 43, 49, 15, 12, kReadOnlyEntry, kNone},
    {panel_id::kInit, Kind::kPushButton, "GPIB初期化", 84, 7, 69, 23, WS_TABSTOP, kNone},
    {panel_id::kOutputOn, Kind::kPushButton, "ON", 85, 147, 30, 29, WS_TABSTOP | BS_MULTILINE, kNone},
    {panel_id::kOutputOff, Kind::kPushButton, "OFF", 123, 147, 30, 29, WS_TABSTOP | BS_MULTILINE, kNone},
    {panel_id::kStatus, Kind::kEdit, nullptr, 10, 236, 104, 12, ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP,
     ES_CENTER | ES_RIGHT},
    {panel_id::kNoId, Kind::kGroupBox, "波形設定", 9, 67, 70, 110, BS_CENTER | WS_GROUP, kNone},
    {panel_id::kWaveSin, Kind::kRadioButton, "正弦波（SIN)", 14, 82, 60, 10, BS_VCENTER, WS_GROUP},
    {panel_id::kWaveTri, Kind::kRadioButton, "三角波（TRI)", 14, 97, 60, 10, BS_VCENTER, WS_GROUP},
    {panel_id::kWaveSqu, Kind::kRadioButton, "方形波（SQU)", 14, 112, 60, 10, BS_VCENTER, WS_GROUP},
    {panel_id::kWavePuls, Kind::kRadioButton, "パルス波（PULS)", 14, 127, 60, 10, BS_VCENTER, WS_GROUP},
    {panel_id::kWaveRamp, Kind::kRadioButton, "ランプ波（RAMP)", 14, 142, 60, 10, BS_VCENTER, WS_GROUP},
    {panel_id::kWaveDc, Kind::kRadioButton, "直流（DC)", 14, 157, 60, 10, BS_VCENTER, WS_GROUP},
    {panel_id::kNoId, Kind::kGroupBox, "周波数設定", 83, 67, 70, 35, kNone, WS_GROUP},
    {panel_id::kNoId, Kind::kGroupBox, "電圧設定", 83, 107, 70, 35, kNone, WS_GROUP},
    // The frequency entry lies inside the radio buttons' group, which only the "Hz" label ends.
    {panel_id::kFrequency, Kind::kEdit, nullptr, 89, 81, 50, 12, kEntry, ES_READONLY | WS_GROUP},
    {panel_id::kNoId, Kind::kLabel, "Hz", 140, 82, 10, 10, SS_CENTER, kNone},
    {panel_id::kAmplitude, Kind::kEdit, nullptr, 89, 121, 50, 12, kEntry, ES_READONLY},
    {panel_id::kNoId, Kind::kLabel, "V", 140, 122, 10, 10, SS_CENTER, kNone},
    {panel_id::kSelfTest, Kind::kPushButton, "SELF TEST", 84, 36, 69, 23,
     WS_TABSTOP | BS_MULTILINE | BS_CENTER | BS_VCENTER, kNone},
    {panel_id::kNoId, Kind::kGroupBox, "モニター", 8, 178, 145, 50, kNone, WS_GROUP},
    {panel_id::kNoId, Kind::kLabel, "波形", 14, 193, 15, 10, SS_LEFT, kNone},
    {panel_id::kMonitorFunction, Kind::kEdit, nullptr, 29, 192, 50, 12, kReadOnlyEntry, kNone},
    {panel_id::kNoId, Kind::kLabel, "周波数", 14, 211, 20, 10, SS_LEFT, kNone},
    {panel_id::kMonitorFrequency, Kind::kEdit, nullptr, 36, 210, 113, 12, kReadOnlyEntry, kNone},
    {panel_id::kNoId, Kind::kLabel, "電圧", 88, 193, 15, 10, SS_LEFT, kNone},
    {panel_id::kMonitorAmplitude, Kind::kEdit, nullptr, 104, 192, 45, 12, kReadOnlyEntry, kNone},
};

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kPushButton: return "push button";
    case Kind::kLabel: return "label";
    case Kind::kEdit: return "edit";
    case Kind::kGroupBox: return "group box";
    case Kind::kRadioButton: return "automatic radio button";
  }
  return "?";
}

// What the window class and style say the control is; "" when it is none of the panel's kinds.
const char* kind_of(HWND control) {
  const std::string window_class_name = window_class(control);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  if (window_class_name == "Edit") return kind_name(Kind::kEdit);
  if (window_class_name == "Static" && (style & SS_TYPEMASK) <= SS_RIGHT) return kind_name(Kind::kLabel);
  if (window_class_name == "Button") {
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON: return kind_name(Kind::kPushButton);
      case BS_GROUPBOX: return kind_name(Kind::kGroupBox);
      case BS_AUTORADIOBUTTON: return kind_name(Kind::kRadioButton);
    }
  }
  return "";
}

std::vector<HWND> children_in_order(HWND dialog) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

PixelRect position_in_dialog(HWND control, HWND dialog) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

using PanelLayout = PanelSession;

TEST_F(PanelLayout, ControlsFollowTheTemplateInOrder) {
  const auto& panel = open_panel();
  const DialogBaseUnits units = panel_font_base_units();
  const std::vector<HWND> children = children_in_order(panel.window());
  ASSERT_EQ(children.size(), kTemplateOrder.size());

  for (size_t index = 0; index < children.size(); ++index) {
    const ExpectedControl& want = kTemplateOrder[index];
    HWND control = children[index];
    SCOPED_TRACE("control #" + std::to_string(index + 1) + " " + (want.text ? want.text : "") + " id " +
                 std::to_string(want.id));
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const LONG ex_style = GetWindowLongW(control, GWL_EXSTYLE);

    if (want.id != panel_id::kNoId) {
      EXPECT_EQ(GetDlgCtrlID(control), want.id);
    }
    EXPECT_STREQ(kind_of(control), kind_name(want.kind));
    if (want.text) {
      EXPECT_EQ(window_text(control), want.text);
    }
    EXPECT_EQ(position_in_dialog(control, panel.window()), to_pixels(units, want.x, want.y, want.width, want.height));
    EXPECT_TRUE(style & WS_VISIBLE);

    EXPECT_EQ(style & want.required_styles, want.required_styles) << std::hex << "style " << style;
    EXPECT_EQ(style & want.forbidden_styles, 0) << std::hex << "style " << style;

    switch (want.kind) {
      case Kind::kEdit:
        // The border of an edit shows as a client edge.
        EXPECT_TRUE((style & WS_BORDER) || (ex_style & WS_EX_CLIENTEDGE)) << "edit without border";
        break;
      case Kind::kLabel:
        EXPECT_EQ(style & SS_TYPEMASK, want.required_styles & SS_TYPEMASK) << "label alignment";
        EXPECT_TRUE(style & SS_CENTERIMAGE) << "label not vertically centred";
        EXPECT_TRUE(style & WS_GROUP) << "label does not start a group";
        EXPECT_FALSE(style & WS_TABSTOP);
        break;
      case Kind::kGroupBox: EXPECT_FALSE(style & WS_TABSTOP); break;
      case Kind::kRadioButton: {
        const LONG alignment = style & kHorizontalAlignment;
        EXPECT_TRUE(alignment == 0 || alignment == BS_LEFT) << "radio text not left-aligned";
        break;
      }
      case Kind::kPushButton: break;
    }
  }

  EXPECT_FALSE(panel.has_control(1012)) << "there is a control 1012";
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

TEST_F(PanelLayout, WindowIsAModalFramePopUpOfTheTemplateSizeCentredOnTheScreen) {
  const auto& panel = open_panel();
  const DialogBaseUnits units = panel_font_base_units();
  const LONG style = GetWindowLongW(panel.window(), GWL_STYLE);
  const LONG ex_style = GetWindowLongW(panel.window(), GWL_EXSTYLE);

  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(ex_style & WS_EX_DLGMODALFRAME) << "no modal frame";
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) << std::hex << style;

  RECT client{};
  GetClientRect(panel.window(), &client);
  const PixelRect size = to_pixels(units, 0, 0, 162, 255);
  EXPECT_EQ(client.right, size.width);
  EXPECT_EQ(client.bottom, size.height);

  RECT frame{};
  GetWindowRect(panel.window(), &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(panel.window(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  EXPECT_NEAR((frame.left + frame.right) / 2.0, (work.left + work.right) / 2.0, 1.0);
  EXPECT_NEAR((frame.top + frame.bottom) / 2.0, (work.top + work.bottom) / 2.0, 1.0);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
