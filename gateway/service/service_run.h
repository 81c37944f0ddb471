// The gateway run by the service manager (--service): the same run as from a console, told of by
// the service's status, its log file and the event log.
#pragma once

#include "command_line.h"

namespace gateway {

// Hands the process to the service manager until the service has stopped; returns the exit code.
// Started from a console instead, says that --service is the service manager's and returns 1.
int service_run(const Options& options);

}  // namespace gateway
