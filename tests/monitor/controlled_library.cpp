// A bus library the monitor's tests steer. gp_tmout(n) leaves n as the thread's last error;
// gp_red on the address "hold" returns only once release_held_reads() is called (or after a
// minute, so that a failing test cannot hang), then leaves the size as the last error. Every call
// answers 0.
#include <windows.h>

#include <cstdint>
#include <cstring>

#define EXPORTED extern "C" __declspec(dllexport)
#if defined(_WIN64)
#define LIBRARY_CALL
#else
#define LIBRARY_CALL __stdcall
#endif

namespace {

const HANDLE released = CreateEventW(nullptr, TRUE, FALSE, nullptr);

}  // namespace

EXPORTED void release_held_reads() { SetEvent(released); }

EXPORTED std::int32_t LIBRARY_CALL gp_init(std::uint16_t, std::int32_t, std::int32_t) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_cli() { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_ren() { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_tmout(std::int32_t value) {
    SetLastError(static_cast<DWORD>(value));
    return 0;
}
EXPORTED std::int32_t LIBRARY_CALL gp_clr(const char*) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_wait(std::int32_t) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_llo() { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_wrt(const char*, const char*) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_red(const char* address_list, char* reply, std::int32_t size) {
    if (address_list && std::strcmp(address_list, "hold") == 0) WaitForSingleObject(released, 60000);
    if (reply && size > 0) reply[0] = '\0';
    SetLastError(static_cast<DWORD>(size));
    return 0;
}
EXPORTED std::int32_t LIBRARY_CALL gp_lcl(const char*) { return 0; }
