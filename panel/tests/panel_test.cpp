// The panel's dialog code run in-process on its own template, against the recording bus library.
// Buttons are pressed the way the dialog manager reports them (WM_COMMAND from the control), and
// only when enabled, as an operator could.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fake_bus.h"
#include "panel.h"
#include "program_values.h"
#include "resource.h"

namespace {

const std::string settings_on_defaults = ":FUNC SIN;:FREQ 1000.000000;:OFFS:STAT OFF;:AMPL 3.000000;:OUTP ON";

std::string text_of(HWND panel, int id) {
    char text[512] = {};
    GetDlgItemTextA(panel, id, text, sizeof text);
    return text;
}

bool enabled(HWND panel, int id) { return IsWindowEnabled(GetDlgItem(panel, id)) != FALSE; }

// The four state buttons that are enabled, e.g. "ON TEST".
std::string enabled_buttons(HWND panel) {
    std::string names;
    const struct { int id; const char* name; } buttons[] = {
        {IDC_INIT, "INIT"}, {IDC_OUTPUT_ON, "ON"}, {IDC_OUTPUT_OFF, "OFF"}, {IDC_SELF_TEST, "TEST"}};
    for (const auto& button : buttons) {
        if (!enabled(panel, button.id)) continue;
        if (!names.empty()) names += ' ';
        names += button.name;
    }
    return names;
}

void press(HWND panel, int id) {
    ASSERT_TRUE(enabled(panel, id)) << "button " << id << " is disabled";
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(panel, id)));
}

std::vector<std::string> trace_lines() {
    std::vector<std::string> lines;
    const std::string& trace = fake_bus_trace();
    for (std::size_t start = 0, end; (end = trace.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(trace.substr(start, end - start));
    return lines;
}

bool trace_has(const std::string& line) {
    for (const std::string& l : trace_lines())
        if (l == line) return true;
    return false;
}

// What a message box owned by the panel showed. The box is closed as soon as it is activated.
struct BoxSeen {
    int count = 0;
    std::string text, caption;
    bool has_icon = false;
};
BoxSeen box_seen;
HHOOK box_hook = nullptr;

BOOL CALLBACK find_icon(HWND child, LPARAM found) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageA(child, STM_GETICON, 0, 0))
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

LRESULT CALLBACK close_boxes(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wparam);
        char cls[32] = {};
        GetClassNameA(box, cls, sizeof cls);
        if (std::string(cls) == "#32770" && GetWindow(box, GW_OWNER) != nullptr) {
            char text[256] = {};
            ++box_seen.count;
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            box_seen.text = text;
            GetWindowTextA(box, text, sizeof text);
            box_seen.caption = text;
            box_seen.has_icon = false;
            EnumChildWindows(box, find_icon, reinterpret_cast<LPARAM>(&box_seen.has_icon));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(box_hook, code, wparam, lparam);
}

class Panel : public ::testing::Test {
protected:
    HWND panel = nullptr;

    void SetUp() override {
        fake_bus_reset();
        box_seen = BoxSeen{};
        box_hook = SetWindowsHookExA(WH_CBT, close_boxes, nullptr, GetCurrentThreadId());
        panel = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PANEL), nullptr, panel_proc, 0);
        ASSERT_NE(panel, nullptr);
        ShowWindow(panel, SW_SHOW);
    }
    void TearDown() override {
        DestroyWindow(panel);
        UnhookWindowsHookEx(box_hook);
    }

    void bring_up() {
        press(panel, IDC_INIT);
        ASSERT_EQ(text_of(panel, IDC_STATUS), "初期化正常終了");
    }
};

TEST_F(Panel, OpensWithItsDefaultsAndTheLinkDown) {
    EXPECT_EQ(text_of(panel, IDC_DEVICE_ADDR), "4");
    EXPECT_EQ(text_of(panel, IDC_OWN_ADDR), "1");
    EXPECT_EQ(text_of(panel, IDC_FREQ), "1000");
    EXPECT_EQ(text_of(panel, IDC_AMPL), "3");
    for (int id : {IDC_STATUS, IDC_MON_FUNC, IDC_MON_AMPL, IDC_MON_FREQ}) EXPECT_EQ(text_of(panel, id), "") << id;
    for (int id = IDC_WAVE_SIN; id <= IDC_WAVE_DC; ++id)
        EXPECT_EQ(IsDlgButtonChecked(panel, id), id == IDC_WAVE_SIN ? BST_CHECKED : BST_UNCHECKED) << id;
    EXPECT_EQ(enabled_buttons(panel), "INIT");
    for (int id : {IDCANCEL, IDC_DEVICE_ADDR, IDC_FREQ, IDC_AMPL, IDC_WAVE_DC}) EXPECT_TRUE(enabled(panel, id)) << id;
    EXPECT_EQ(GetFocus(), GetDlgItem(panel, IDC_INIT));
    EXPECT_EQ(own_address, 1);
    EXPECT_EQ(fake_bus_trace(), "") << "opening the panel touches no bus";
}

// Every control in template order with its text, as the dialog shows it in code page 932.
TEST_F(Panel, ControlsAndTextsInTemplateOrder) {
    const std::vector<std::pair<int, std::string>> expected = {
        {IDCANCEL, "終了"}, {-1, "QX7316 GPIBｱﾄﾞﾚｽ"}, {-1, "USB-GPIB ｱﾄﾞﾚｽ"}, {IDC_DEVICE_ADDR, "4"},
        {IDC_OWN_ADDR, "1"}, {IDC_INIT, "GPIB初期化"}, {IDC_OUTPUT_ON, "ON"}, {IDC_OUTPUT_OFF, "OFF"},
        {IDC_STATUS, ""}, {-1, "波形設定"}, {IDC_WAVE_SIN, "正弦波（SIN)"}, {IDC_WAVE_TRI, "三角波（TRI)"},
        {IDC_WAVE_SQU, "方形波（SQU)"}, {IDC_WAVE_PULS, "パルス波（PULS)"}, {IDC_WAVE_RAMP, "ランプ波（RAMP)"},
        {IDC_WAVE_DC, "直流（DC)"}, {-1, "周波数設定"}, {-1, "電圧設定"}, {IDC_FREQ, "1000"}, {-1, "Hz"},
        {IDC_AMPL, "3"}, {-1, "V"}, {IDC_SELF_TEST, "SELF TEST"}, {-1, "モニター"}, {-1, "波形"},
        {IDC_MON_FUNC, ""}, {-1, "周波数"}, {IDC_MON_FREQ, ""}, {-1, "電圧"}, {IDC_MON_AMPL, ""}};
    std::vector<std::pair<int, std::string>> seen;
    for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[256] = {};
        GetWindowTextA(child, text, sizeof text);
        seen.emplace_back(static_cast<short>(GetDlgCtrlID(child)), text);
    }
    EXPECT_EQ(seen, expected);
    char caption[64] = {};
    GetWindowTextA(panel, caption, sizeof caption);
    EXPECT_STREQ(caption, "QX7316 SAMPLE");
}

TEST_F(Panel, ButtonsOnlyClickAndTheRadioButtonsFormOneGroup) {
    for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EXPECT_EQ(SendMessageA(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, 0) << GetDlgCtrlID(child);
    SendDlgItemMessageA(panel, IDC_WAVE_RAMP, BM_CLICK, 0, 0);
    for (int id = IDC_WAVE_SIN; id <= IDC_WAVE_DC; ++id)
        EXPECT_EQ(IsDlgButtonChecked(panel, id), id == IDC_WAVE_RAMP ? BST_CHECKED : BST_UNCHECKED) << id;
    // The group runs from the 波形設定 box to the Hz label, which starts the next one.
    std::vector<int> group;
    HWND item = GetDlgItem(panel, IDC_WAVE_SIN);
    do {
        group.push_back(static_cast<short>(GetDlgCtrlID(item)));
        item = GetNextDlgGroupItem(panel, item, FALSE);
    } while (item && item != GetDlgItem(panel, IDC_WAVE_SIN) && group.size() < 40);
    EXPECT_EQ(group, (std::vector<int>{IDC_WAVE_SIN, IDC_WAVE_TRI, IDC_WAVE_SQU, IDC_WAVE_PULS, IDC_WAVE_RAMP,
                                       IDC_WAVE_DC, -1, -1, IDC_FREQ, -1}));
    EXPECT_EQ(fake_bus_trace(), "") << "radio buttons have no action";
}

TEST_F(Panel, AddressFieldsTakeAtMostTwoTypedCharacters) {
    SetDlgItemTextA(panel, IDC_DEVICE_ADDR, "");
    for (char c : std::string("123")) SendDlgItemMessageA(panel, IDC_DEVICE_ADDR, WM_CHAR, c, 0);
    EXPECT_EQ(text_of(panel, IDC_DEVICE_ADDR), "12");
    SendDlgItemMessageA(panel, IDC_OWN_ADDR, WM_CHAR, '7', 0);
    EXPECT_EQ(text_of(panel, IDC_OWN_ADDR), "1") << "the own address is read-only";
}

TEST_F(Panel, InitBringsTheLinkUpAtTheTypedAddress) {
    SetDlgItemTextA(panel, IDC_DEVICE_ADDR, "12");
    press(panel, IDC_INIT);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "初期化正常終了");
    EXPECT_EQ(enabled_buttons(panel), "ON TEST");
    EXPECT_EQ(trace_lines(), (std::vector<std::string>{"gp_init(1, 0, 0) = 0", "gp_cli() = 0", "gp_ren() = 0",
                                                       "gp_tmout(5) = 0", "gp_clr(\"12\") = 0", "gp_wait(1) = 0",
                                                       "gp_llo() = 0"}));
}

TEST_F(Panel, InitReadsElevenBytesOfTheAddressAtMost) {
    SetDlgItemTextA(panel, IDC_DEVICE_ADDR, "123456789012345");  // WM_SETTEXT passes the typing limit
    press(panel, IDC_INIT);
    EXPECT_TRUE(trace_has("gp_clr(\"12345678901\") = 0")) << fake_bus_trace();
}

TEST_F(Panel, FailedInitShowsOnlyItsTextAndMayBeRepeated) {
    fake_bus_fail("gp_init", 3);
    press(panel, IDC_INIT);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "gp_init() error [3]\n");
    EXPECT_EQ(enabled_buttons(panel), "INIT");

    fake_bus_reset();
    fake_bus_fail("gp_tmout", 7);
    press(panel, IDC_INIT);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "gp_tmout() error [7]");
    EXPECT_EQ(enabled_buttons(panel), "INIT");
    EXPECT_EQ(box_seen.count, 0) << "failures never pop up a box";

    fake_bus_reset();
    press(panel, IDC_INIT);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "初期化正常終了");
    EXPECT_EQ(enabled_buttons(panel), "ON TEST");
}

TEST_F(Panel, OnSendsTheSettingsAndShowsWhatTheInstrumentReportsBack) {
    bring_up();
    fake_bus_reset();
    press(panel, IDC_OUTPUT_ON);
    EXPECT_EQ(trace_lines(), (std::vector<std::string>{
                                 "gp_wrt(\"4\", \"" + settings_on_defaults + "\") = 0",
                                 "gp_wrt(\"4\", \":FUNC?\") = 0", "gp_red(\"4\", 256) = 0",
                                 "gp_wrt(\"4\", \":AMPL?\") = 0", "gp_red(\"4\", 256) = 0",
                                 "gp_wrt(\"4\", \":FREQ?\") = 0", "gp_red(\"4\", 256) = 0"}));
    EXPECT_EQ(text_of(panel, IDC_MON_FUNC), "SIN\n");
    EXPECT_EQ(text_of(panel, IDC_MON_AMPL), "+3.000000E+00\n");
    EXPECT_EQ(text_of(panel, IDC_MON_FREQ), "+1.000000E+03\n");
    EXPECT_EQ(text_of(panel, IDC_STATUS), "") << "ON clears 初期化正常終了";
    EXPECT_EQ(enabled_buttons(panel), "OFF TEST");
}

TEST_F(Panel, OnTakesFrequencyAndAmplitudeFromTheirOwnEntries) {
    bring_up();
    SetDlgItemTextA(panel, IDC_FREQ, "50");
    SetDlgItemTextA(panel, IDC_AMPL, "2.5");
    press(panel, IDC_OUTPUT_ON);
    EXPECT_TRUE(trace_has("gp_wrt(\"4\", \":FUNC SIN;:FREQ 50.000000;:OFFS:STAT OFF;:AMPL 2.500000;:OUTP ON\") = 0"))
        << fake_bus_trace();
}

TEST_F(Panel, TheFirstCheckedWaveformButtonDecidesAndNoneMeansDc) {
    bring_up();
    struct Case { std::vector<int> checked; const char* unit; };
    const Case cases[] = {
        {{IDC_WAVE_SIN}, ":FUNC SIN;"},  {{IDC_WAVE_TRI}, ":FUNC TRI;"},   {{IDC_WAVE_SQU}, ":FUNC SQU;"},
        {{IDC_WAVE_PULS}, ":FUNC PULS;"}, {{IDC_WAVE_RAMP}, ":FUNC RAMP;"}, {{IDC_WAVE_DC}, ":FUNC DC;"},
        {{}, ":FUNC DC;"}, {{IDC_WAVE_RAMP, IDC_WAVE_TRI}, ":FUNC TRI;"}};
    for (const Case& c : cases) {
        for (int id = IDC_WAVE_SIN; id <= IDC_WAVE_DC; ++id) CheckDlgButton(panel, id, BST_UNCHECKED);
        for (int id : c.checked) CheckDlgButton(panel, id, BST_CHECKED);
        fake_bus_reset();
        press(panel, IDC_OUTPUT_ON);
        ASSERT_FALSE(trace_lines().empty());
        EXPECT_EQ(trace_lines()[0].rfind(std::string("gp_wrt(\"4\", \"") + c.unit, 0), 0u) << trace_lines()[0];
        press(panel, IDC_OUTPUT_OFF);
    }
}

TEST_F(Panel, FailedOnReportsTheWriteAndChangesNothingElse) {
    bring_up();
    fake_bus_reset();
    fake_bus_fail("gp_wrt", -5);
    press(panel, IDC_OUTPUT_ON);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "gp_wrt() error : -5");
    EXPECT_EQ(trace_lines().size(), 1u) << "nothing is read back: " << fake_bus_trace();
    for (int id : {IDC_MON_FUNC, IDC_MON_AMPL, IDC_MON_FREQ}) EXPECT_EQ(text_of(panel, id), "") << id;
    EXPECT_EQ(enabled_buttons(panel), "ON TEST");
}

TEST_F(Panel, AFailedReadBackLeavesItsMonitorEmpty) {
    bring_up();
    fake_bus_fail_write(":AMPL?", 2);
    press(panel, IDC_OUTPUT_ON);
    EXPECT_EQ(text_of(panel, IDC_MON_FUNC), "SIN\n");
    EXPECT_EQ(text_of(panel, IDC_MON_AMPL), "");
    EXPECT_EQ(text_of(panel, IDC_MON_FREQ), "+1.000000E+03\n");
    EXPECT_EQ(text_of(panel, IDC_STATUS), "");
    EXPECT_EQ(enabled_buttons(panel), "OFF TEST");
}

TEST_F(Panel, OffKeepsTheStatusLineAndClearsTheMonitorsOnlyWhenItWorks) {
    bring_up();
    press(panel, IDC_OUTPUT_ON);
    fake_bus_fail_write(":OUTP OFF", 9);
    press(panel, IDC_OUTPUT_OFF);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "gp_wrt() error : 9");
    EXPECT_EQ(text_of(panel, IDC_MON_FUNC), "SIN\n") << "a failed OFF keeps the read-backs";
    EXPECT_EQ(enabled_buttons(panel), "OFF TEST");

    fake_bus_reset();
    press(panel, IDC_OUTPUT_OFF);
    EXPECT_EQ(trace_lines(), std::vector<std::string>{"gp_wrt(\"4\", \":OUTP OFF\") = 0"});
    EXPECT_EQ(text_of(panel, IDC_STATUS), "gp_wrt() error : 9") << "OFF never clears the status line";
    for (int id : {IDC_MON_FUNC, IDC_MON_AMPL, IDC_MON_FREQ}) EXPECT_EQ(text_of(panel, id), "") << id;
    EXPECT_EQ(enabled_buttons(panel), "ON TEST");

    press(panel, IDC_OUTPUT_ON);
    EXPECT_EQ(text_of(panel, IDC_STATUS), "");
}

TEST_F(Panel, SelfTestShowsItsVerdictInABoxAndTouchesNothingElse) {
    bring_up();
    struct Case { std::string reply; bool write_fails; const char* text; bool icon; };
    const Case cases[] = {{"0\n", false, "SELF TEST結果 =【 OK 】です。", false},
                          {"1\n", false, "SELF TEST結果 =【 NG 】です。", true},
                          {"0\n", true, "SELF TEST結果 =【 NG 】です。", true}};
    for (const Case& c : cases) {
        fake_bus_reset();
        fake_bus_self_test_reply(c.reply);
        if (c.write_fails) fake_bus_fail_write("*TST?", 4);
        box_seen = BoxSeen{};
        press(panel, IDC_SELF_TEST);
        EXPECT_EQ(box_seen.count, 1);
        EXPECT_EQ(box_seen.text, c.text);
        EXPECT_EQ(box_seen.caption, "QX-7316");
        EXPECT_EQ(box_seen.has_icon, c.icon) << c.text;
        EXPECT_STREQ(scratch_text, c.text);
        EXPECT_EQ(trace_has("gp_red(\"4\", 256) = 0"), !c.write_fails) << fake_bus_trace();
        EXPECT_EQ(text_of(panel, IDC_STATUS), "初期化正常終了");
        EXPECT_EQ(enabled_buttons(panel), "ON TEST");
    }
}

TEST_F(Panel, EnterAndTheRadioButtonsDoNothing) {
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int id : {IDC_WAVE_TRI, IDC_STATUS, IDC_FREQ}) press(panel, id);
    EXPECT_EQ(fake_bus_trace(), "");
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(enabled_buttons(panel), "INIT");
}

// The modal panel as WinMain runs it, ended the three ways an operator can.
// The panel is shown and activated inside DialogBoxParam, the focus arriving through the display
// server: the timer looks every 20 ms, from inside the panel's own modal loop, until the focus is on
// GPIB初期化 or 30 s have passed, then leaves.
enum class Leave { exit_button, escape, close_box };
Leave leave_by;
HWND modal_panel;
bool focus_on_init_when_shown;
DWORD panel_opened_at;
constexpr DWORD kFocusLimitMs = 30000;

void CALLBACK leave_panel(HWND, UINT, UINT_PTR timer, DWORD) {
    focus_on_init_when_shown = GetFocus() == GetDlgItem(modal_panel, IDC_INIT);
    if (!focus_on_init_when_shown && GetTickCount() - panel_opened_at < kFocusLimitMs) return;
    KillTimer(nullptr, timer);
    switch (leave_by) {
    case Leave::exit_button: PostMessageA(GetDlgItem(modal_panel, IDCANCEL), BM_CLICK, 0, 0); break;
    case Leave::escape: PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); break;
    case Leave::close_box: PostMessageA(modal_panel, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    }
}

INT_PTR CALLBACK watch_panel(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        modal_panel = hwnd;
        panel_opened_at = GetTickCount();
        SetTimer(nullptr, 0, 20, leave_panel);
    }
    return panel_proc(hwnd, message, wparam, lparam);
}

TEST(ModalPanel, EveryWayOutReleasesTheInstrumentAndEndsWithTwo) {
    for (Leave how : {Leave::exit_button, Leave::escape, Leave::close_box}) {
        fake_bus_reset();
        leave_by = how;
        focus_on_init_when_shown = false;
        const INT_PTR result =
            DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PANEL), nullptr, watch_panel, 0);
        EXPECT_EQ(result, 2) << static_cast<int>(how);
        EXPECT_EQ(fake_bus_trace(), "gp_lcl(\"\") = 0\n") << static_cast<int>(how);
        EXPECT_TRUE(focus_on_init_when_shown) << static_cast<int>(how);
    }
}

}  // namespace
