#include "event_log.h"

#include <windows.h>

#include <cwchar>

#include "gateway_events.h"
#include "service_names.h"

namespace gateway {

namespace {

constexpr wchar_t source_key[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\qx7316-gateway";
constexpr DWORD types_supported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
// The program's own texts are Shift-JIS.
constexpr UINT text_code_page = 932;

}  // namespace

bool event_source_register(const wchar_t* program_path, unsigned long& error) {
    HKEY key = nullptr;
    LSTATUS s = RegCreateKeyExW(HKEY_LOCAL_MACHINE, source_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (s != ERROR_SUCCESS) {
        error = static_cast<unsigned long>(s);
        return false;
    }
    const DWORD path_bytes = static_cast<DWORD>((std::wcslen(program_path) + 1) * sizeof(wchar_t));
    s = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(program_path), path_bytes);
    if (s == ERROR_SUCCESS) {
        s = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types_supported),
                           sizeof types_supported);
    }
    RegCloseKey(key);
    error = static_cast<unsigned long>(s);
    return s == ERROR_SUCCESS;
}

void event_source_remove() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, source_key); }

void event_report(bool failure, const char* text) {
    wchar_t wide[1024];
    if (MultiByteToWideChar(text_code_page, 0, text, -1, wide, sizeof wide / sizeof wide[0]) == 0) {
        wide[0] = L'\0';
    }
    const HANDLE source = RegisterEventSourceW(nullptr, service_name);
    if (source == nullptr) return;
    const wchar_t* strings[] = {wide};
    ReportEventW(source, failure ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0, GATEWAY_EVENT_TEXT, nullptr, 1, 0,
                 strings, nullptr);
    DeregisterEventSource(source);
}

}  // namespace gateway
