// A bus library that lacks gp_lcl: the other nine functions, each answering 0.
#include <cstdint>

#define EXPORTED extern "C" __declspec(dllexport)
#if defined(_WIN64)
#define LIBRARY_CALL
#else
#define LIBRARY_CALL __stdcall
#endif

EXPORTED std::int32_t LIBRARY_CALL gp_init(std::uint16_t, std::int32_t, std::int32_t) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_cli() { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_ren() { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_tmout(std::int32_t) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_clr(const char*) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_wait(std::int32_t) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_llo() { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_wrt(const char*, const char*) { return 0; }
EXPORTED std::int32_t LIBRARY_CALL gp_red(const char*, char*, std::int32_t) { return 0; }
