// Trace lines, as the simulator writes them, of the bus calls the program is expected to make.
#pragma once

#include <string>
#include <vector>

namespace expected {

// The seven calls of a bring-up that succeeds, to the instrument at address.
std::vector<std::string> bring_up(const std::string& address = "4");

// The release of the instrument to local control as the program leaves. The simulator answers 0
// once a gp_init has succeeded, and 1 (not initialised) before; the program ignores the answer.
std::string release();
std::string release_before_init();

// A write of message to address with the given result.
std::string write(const std::string& message, int result = 0, const std::string& address = "4");

// A read from address with the given result and reply, the reply written as the trace escapes it
// (e.g. "SIN\\n" for the three characters S, I, N and a line feed).
std::string read(const std::string& escaped_reply, int result = 0, const std::string& address = "4");

// The settings message for a waveform unit ("SIN", "TRI", ...) and two formatted numbers.
std::string settings(const std::string& waveform, const std::string& frequency, const std::string& amplitude);

// The settings write of the panel's defaults and the three read-back queries with the simulator's
// default replies.
std::vector<std::string> output_on_with_defaults();

// A text as the trace writes it: \n \r \t \\ \" escaped, other bytes below 0x20 or from 0x7F
// on as \xhh (lower-case hex digits).
std::string escaped(const std::string& raw);

// The calls after the bring-up and before the release of a run that brought the link up and left.
std::vector<std::string> between_bring_up_and_release(const std::vector<std::string>& calls);

// Joins lists of lines into one.
std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts);

}  // namespace expected
