#include "log_complaint.h"

#include <windows.h>

#include <cstring>

namespace monitor {

namespace {

constexpr wchar_t problems_name[] = L"taverix-monitor-problems.log";

void append_to_problems_file(const char* text, DWORD length) {
    wchar_t path[MAX_PATH + 1];
    const DWORD folder = GetTempPathW(MAX_PATH + 1, path);
    const std::size_t name = sizeof problems_name / sizeof problems_name[0];
    if (folder == 0 || folder + name > MAX_PATH + 1) return;
    std::memcpy(path + folder, problems_name, sizeof problems_name);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, length, &written, nullptr);
    CloseHandle(file);
}

void write_to_standard_error(const char* text, DWORD length) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    const DWORD type = GetFileType(error);
    if (type != FILE_TYPE_CHAR && type != FILE_TYPE_DISK) return;
    DWORD written = 0;
    WriteFile(error, text, length, &written, nullptr);
}

}  // namespace

void complain(const char* text, unsigned long length) {
    append_to_problems_file(text, length);
    write_to_standard_error(text, length);
    OutputDebugStringA(text);
}

}  // namespace monitor
