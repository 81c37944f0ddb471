// Without Windows there is no window: the front's state goes nowhere.
#include "front_window.h"

namespace sim {

void front_window_update(const FrontState&) {}

}  // namespace sim
