// How long the program takes from CreateProcess to a visible panel, collected over the whole run
// and printed at its end.
#pragma once

namespace driver {

void record_program_start(double milliseconds);

}  // namespace driver
