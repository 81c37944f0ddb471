// The ten functions of the bus library by name, for call records and for naming a call in settings.
#pragma once

#include <cstddef>
#include <string_view>

namespace bus_trace {

enum class BusFunction { init, cli, ren, tmout, clr, wait, llo, wrt, red, lcl };

constexpr std::size_t bus_function_count = 10;

constexpr std::string_view bus_function_names[bus_function_count] = {
    "gp_init", "gp_cli", "gp_ren", "gp_tmout", "gp_clr", "gp_wait", "gp_llo", "gp_wrt", "gp_red", "gp_lcl",
};

constexpr std::size_t bus_function_index(BusFunction f) { return static_cast<std::size_t>(f); }

constexpr std::string_view bus_function_name(BusFunction f) { return bus_function_names[bus_function_index(f)]; }

// Finds the function by its name; false when there is none of that name.
constexpr bool bus_function_by_name(std::string_view name, BusFunction& found) {
    for (std::size_t i = 0; i < bus_function_count; ++i) {
        if (bus_function_names[i] == name) {
            found = static_cast<BusFunction>(i);
            return true;
        }
    }
    return false;
}

}  // namespace bus_trace
