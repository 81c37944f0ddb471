// The gateway's Windows service: its names, and the exit codes it stops with.
#pragma once

namespace gateway {

constexpr wchar_t service_name[] = L"qx7316-gateway";
constexpr char service_name_text[] = "qx7316-gateway";
constexpr wchar_t service_display_name[] = L"QX7316 network gateway";
constexpr wchar_t service_description[] =
    L"Serves the QX-7316 on the GPIB bus (TAVERIX.dll) to the network: SCPI over a raw socket (TCP 5025) "
    L"and VXI-11 (port 111). Its log: gateway.log in %ProgramData%\\QX7316 unless --log-file says otherwise.";
// Built-in, no password: the network as the anonymous user, the fewest rights.
constexpr wchar_t service_account[] = L"NT AUTHORITY\\LocalService";

// The service's log unless --log-file names another.
constexpr wchar_t service_log_folder[] = L"%ProgramData%\\QX7316";
constexpr wchar_t service_log_name[] = L"gateway.log";

}  // namespace gateway
