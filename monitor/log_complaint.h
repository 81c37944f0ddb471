// Where the monitor says that its log cannot be written, since the log itself cannot carry it.
//
// The bus call that meets the problem must not wait on the user, so there is no message box: a
// modal box would hold the program's bus call until someone closes it, and a box from a thread of
// the monitor's own would pop up unasked in front of the program, also when it runs unattended
// (the gateway as a service, the panel under a test driver). The complaint goes instead to
//   - the file taverix-monitor-problems.log in the temporary folder (%TEMP%), appended, which the
//     README names as the place to look when the log is missing;
//   - the program's standard error when it is a console or a file (a console program such as the
//     gateway shows it at once); not when it is a pipe, which a reader that stopped reading could
//     fill, and a write to a full pipe would hold the bus call for good;
//   - the debug output, for a debugger or a debug-output viewer.
#pragma once

namespace monitor {

// text: one line ending in a line feed, zero-terminated.
void complain(const char* text, unsigned long length);

}  // namespace monitor
