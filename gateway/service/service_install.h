// --install-service, --reinstall-service and --uninstall-service: the gateway as a Windows service
// that starts at boot with the options given, and its removal.
#pragma once

#include "command_line.h"

namespace gateway {

// Carries out options.service_action; argv's other arguments are the installed service's options.
// Says what it did, or why it changed nothing, on the console; returns the exit code (0: done).
int service_install(const Options& options, int argc, const char* const* argv);

}  // namespace gateway
