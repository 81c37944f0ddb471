#include "front_window.h"

#include <windows.h>

#include <cstring>

#include "front_ids.h"
#include "front_model.h"

namespace sim {

namespace {

// The window looks for a new state this often. A bus call only leaves its state behind: posting
// or signalling would cost it a trip to the window system's server (under Wine more than the call
// itself).
constexpr UINT look_interval_ms = 20;
constexpr UINT_PTR look_timer = 1;
constexpr char window_class[] = "QX7316SimulatedFront";
constexpr char screen_class[] = "QX7316SimulatedScreen";

// Client area layout, in pixels.
constexpr int client_width = 352;
constexpr int client_height = 318;
constexpr int margin = 10;
constexpr int screen_width = client_width - 2 * margin;
constexpr int screen_height = 132;
constexpr int row_height = 18;
constexpr int gap_to_panel = 8;

constexpr COLORREF screen_background = RGB(0, 24, 0);
constexpr COLORREF graticule_colour = RGB(0, 80, 0);
constexpr COLORREF output_lit = RGB(64, 220, 64);
constexpr COLORREF remote_lit = RGB(255, 176, 0);
constexpr COLORREF lamp_dark = RGB(96, 96, 96);

// ---- shared between the bus calls' thread and the window's ----
SRWLOCK lock = SRWLOCK_INIT;
FrontState handed;
bool handed_fresh = false;  // handed has not been shown yet

// ---- the bus calls' thread only ----
bool thread_started = false;
DWORD caller_thread = 0;

// ---- the window's thread only ----
HWND front = nullptr;
FrontState shown;
FrontTexts shown_texts;
HBRUSH output_brush, remote_brush, dark_brush;

HINSTANCE this_module() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&this_module), &module);
    return module;
}

// ---- drawing the screen ----
void draw_screen(HDC dc, const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HBRUSH background = CreateSolidBrush(screen_background);
    FillRect(dc, &area, background);
    DeleteObject(background);

    HPEN graticule = CreatePen(PS_SOLID, 1, graticule_colour);
    HGDIOBJ previous_pen = SelectObject(dc, graticule);
    for (int i = 1; i < 10; ++i) {
        const int x = width * i / 10;
        MoveToEx(dc, x, 0, nullptr);
        LineTo(dc, x, height);
    }
    for (int i = 1; i < 8; ++i) {
        const int y = height * i / 8;
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, width, y);
    }

    static FrontPoint trace[screen_width];
    static POINT line[screen_width];
    const int count = front_trace(shown, width, height, trace, screen_width);
    for (int i = 0; i < count; ++i) line[i] = {trace[i].x, trace[i].y};
    const unsigned long rgb = front_id::trace_rgb;
    HPEN pen = CreatePen(PS_SOLID, 2, RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
    SelectObject(dc, pen);
    if (count > 1) Polyline(dc, line, count);
    SelectObject(dc, previous_pen);
    DeleteObject(pen);
    DeleteObject(graticule);
}

// Drawn off screen first, so that a repaint never shows a half-drawn trace.
void paint_screen(HWND screen) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(screen, &paint);
    RECT area;
    GetClientRect(screen, &area);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, area.right, area.bottom);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    draw_screen(memory, area);
    BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(screen, &paint);
}

LRESULT CALLBACK screen_proc(HWND screen, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: paint_screen(screen); return 0;
        default: return DefWindowProcA(screen, message, wparam, lparam);
    }
}

// ---- the texts and lamps ----
void set_text_if_changed(int id, const char* text, const char* before) {
    if (std::strcmp(text, before) != 0) SetDlgItemTextA(front, id, text);
}

void set_lamp(int id, bool lit) {
    HWND lamp = GetDlgItem(front, id);
    if ((IsWindowEnabled(lamp) != FALSE) != lit) EnableWindow(lamp, lit);
}

// Takes the newest state handed over and shows it; nothing when there is none since the last time.
void refresh(bool first) {
    const FrontState before = shown;
    AcquireSRWLockExclusive(&lock);
    const bool fresh = handed_fresh;
    if (fresh) shown = handed;
    handed_fresh = false;
    ReleaseSRWLockExclusive(&lock);
    if (!fresh && !first) return;

    FrontTexts texts;
    front_texts(shown, texts);
    if (first) std::memset(&shown_texts, 0, sizeof shown_texts);  // no text of the front is empty
    set_text_if_changed(front_id::waveform, texts.waveform, shown_texts.waveform);
    set_text_if_changed(front_id::frequency, texts.frequency, shown_texts.frequency);
    set_text_if_changed(front_id::amplitude, texts.amplitude, shown_texts.amplitude);
    set_text_if_changed(front_id::span, texts.span, shown_texts.span);
    set_text_if_changed(front_id::address, texts.address, shown_texts.address);
    set_text_if_changed(front_id::errors, texts.errors, shown_texts.errors);
    set_text_if_changed(front_id::message, texts.message, shown_texts.message);
    set_text_if_changed(front_id::reply, texts.reply, shown_texts.reply);
    shown_texts = texts;

    const FrontLamps lamps = front_lamps(shown);
    set_lamp(front_id::output_lamp, lamps.output);
    set_lamp(front_id::remote_lamp, lamps.remote);
    set_lamp(front_id::lockout_lamp, lamps.lockout);
    // The screen is drawn again only when its trace changes.
    const bool same_trace = before.waveform == shown.waveform && before.frequency == shown.frequency &&
                            before.amplitude == shown.amplitude && before.output_on == shown.output_on;
    if (first || !same_trace) InvalidateRect(GetDlgItem(front, front_id::screen), nullptr, FALSE);
}

// A lit lamp is a coloured field with dark text; a dark one grey.
LRESULT lamp_colours(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    const bool lamp = id == front_id::output_lamp || id == front_id::remote_lamp || id == front_id::lockout_lamp;
    if (!lamp) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    HBRUSH brush = dark_brush;
    COLORREF colour = lamp_dark;
    if (IsWindowEnabled(control)) {
        brush = id == front_id::output_lamp ? output_brush : remote_brush;
        colour = id == front_id::output_lamp ? output_lit : remote_lit;
    }
    SetBkColor(dc, colour);
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(brush);
}

LRESULT CALLBACK front_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_TIMER: refresh(false); return 0;
        case WM_CTLCOLORSTATIC:
            return lamp_colours(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

// ---- making the window ----
void add_control(HWND parent, int id, const char* cls, DWORD style, int x, int y, int width, int height) {
    HWND control = CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), this_module(), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

void add_lamp(HWND parent, int id, const char* text, int x, int y) {
    add_control(parent, id, "STATIC", SS_CENTER | SS_CENTERIMAGE | WS_BORDER | WS_DISABLED, x, y, 100, 22);
    SetDlgItemTextA(parent, id, text);
}

void add_controls(HWND window) {
    int y = margin;
    add_control(window, front_id::screen, screen_class, WS_BORDER, margin, y, screen_width, screen_height);
    y += screen_height + 6;
    add_control(window, front_id::waveform, "STATIC", SS_LEFT, margin, y, 50, row_height);
    add_control(window, front_id::frequency, "STATIC", SS_LEFT, margin + 52, y, 140, row_height);
    add_control(window, front_id::amplitude, "STATIC", SS_LEFT, margin + 196, y, 136, row_height);
    y += row_height;
    add_control(window, front_id::span, "STATIC", SS_LEFT, margin, y, screen_width, row_height);
    y += row_height + 6;
    add_lamp(window, front_id::output_lamp, "OUTPUT", margin, y);
    add_lamp(window, front_id::remote_lamp, "REMOTE", margin + 116, y);
    add_lamp(window, front_id::lockout_lamp, "LOCKOUT", margin + 232, y);
    y += 22 + 8;
    add_control(window, front_id::address, "STATIC", SS_LEFT, margin, y, 160, row_height);
    add_control(window, front_id::errors, "STATIC", SS_LEFT, margin + 176, y, 156, row_height);
    y += row_height + 2;
    add_control(window, front_id::message, "STATIC", SS_LEFT, margin, y, screen_width, 2 * row_height);
    y += 2 * row_height + 2;
    add_control(window, front_id::reply, "STATIC", SS_LEFT, margin, y, screen_width, 2 * row_height);
}

BOOL CALLBACK find_shown_window(HWND window, LPARAM found) {
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Right of the calling thread's window when it fits on the screen, else left of it, else at the
// screen's right edge; top-left on a screen with no such window.
POINT place_beside_caller(int width, int height) {
    HWND beside = nullptr;
    EnumThreadWindows(caller_thread, find_shown_window, reinterpret_cast<LPARAM>(&beside));
    const int screen_width_px = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height_px = GetSystemMetrics(SM_CYSCREEN);
    RECT other{0, 0, 0, 0};
    if (!beside || !GetWindowRect(beside, &other)) return {0, 0};
    POINT at{other.right + gap_to_panel, other.top};
    if (at.x + width > screen_width_px) at.x = other.left - gap_to_panel - width;
    if (at.x < 0) at.x = screen_width_px > width ? screen_width_px - width : 0;
    if (at.y + height > screen_height_px) at.y = screen_height_px > height ? screen_height_px - height : 0;
    if (at.y < 0) at.y = 0;
    return at;
}

bool create_window() {
    HINSTANCE module = this_module();
    WNDCLASSA front_class{};
    front_class.lpfnWndProc = front_proc;
    front_class.hInstance = module;
    front_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    front_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    front_class.lpszClassName = window_class;
    WNDCLASSA screen{};
    screen.lpfnWndProc = screen_proc;
    screen.hInstance = module;
    screen.lpszClassName = screen_class;
    if (!RegisterClassA(&front_class) || !RegisterClassA(&screen)) return false;
    output_brush = CreateSolidBrush(output_lit);
    remote_brush = CreateSolidBrush(remote_lit);
    dark_brush = CreateSolidBrush(lamp_dark);

    // A caption and a frame, no close box: the window ends with the process.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION;
    const DWORD ex_style = WS_EX_NOACTIVATE;
    RECT outer{0, 0, client_width, client_height};
    AdjustWindowRectEx(&outer, style, FALSE, ex_style);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const POINT at = place_beside_caller(width, height);
    HWND window = CreateWindowExA(ex_style, window_class, front_id::caption, style, at.x, at.y, width, height,
                                  nullptr, nullptr, module, nullptr);
    if (!window) return false;
    front = window;
    add_controls(window);
    refresh(true);
    SetTimer(window, look_timer, look_interval_ms, nullptr);
    // Shown without taking the activation: the program's own window keeps it.
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return true;
}

DWORD WINAPI window_thread(LPVOID) {
    if (!create_window()) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace

void front_window_update(const FrontState& state) {
    AcquireSRWLockExclusive(&lock);
    handed = state;
    handed_fresh = true;
    ReleaseSRWLockExclusive(&lock);

    if (!thread_started) {
        thread_started = true;
        caller_thread = GetCurrentThreadId();
        HANDLE thread = CreateThread(nullptr, 0, window_thread, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);
    }
}

}  // namespace sim
