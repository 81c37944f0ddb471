// The service's start, stop and failures in Windows' Application event log, under the source
// qx7316-gateway, whose texts come from the gateway's own message table.
#pragma once

namespace gateway {

// Registers the gateway (program_path, the installed program) as the source's message file.
// False, with the Windows error code, when the registry refuses.
bool event_source_register(const wchar_t* program_path, unsigned long& error);
void event_source_remove();

// One entry holding text (the program's code page); nothing when there is no event log.
void event_report(bool failure, const char* text);

}  // namespace gateway
