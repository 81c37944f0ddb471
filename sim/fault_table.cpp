#include "fault_table.h"

#include <string_view>

#include "config_text.h"
#include "sim_trace.h"

namespace sim {

namespace {

constexpr std::string_view variable_name = "TAVERIX_SIM_FAULTS";

struct FaultEntry {
    BusFunction function;
    std::uint64_t call;   // 0: every call
    std::uint64_t every;  // not 0: every N-th call (call is 0 then)
    std::int32_t code;
};

constexpr std::size_t fault_capacity = 64;
FaultEntry faults[fault_capacity];
std::size_t fault_count = 0;

std::uint64_t call_counts[bus_function_count];

// Reads one entry NAME=CODE, NAME#N=CODE or NAME%N=CODE.
bool read_fault(std::string_view entry, FaultEntry& fault) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) return false;
    std::string_view name = trim_blanks(entry.substr(0, equals));
    const std::string_view code = trim_blanks(entry.substr(equals + 1));
    fault.call = 0;
    fault.every = 0;
    if (const std::size_t hash = name.find('#'); hash != std::string_view::npos) {
        if (!read_unsigned(name.substr(hash + 1), UINT64_MAX, fault.call) || fault.call == 0) return false;
        name = name.substr(0, hash);
    } else if (const std::size_t percent = name.find('%'); percent != std::string_view::npos) {
        if (!read_unsigned(trim_blanks(name.substr(percent + 1)), UINT64_MAX, fault.every) || fault.every == 0) return false;
        name = trim_blanks(name.substr(0, percent));
    }
    return bus_function_by_name(name, fault.function) && read_int32(code, fault.code);
}

}  // namespace

void faults_configure(const char* text) {
    fault_count = 0;
    if (!text) return;
    std::string_view rest(text);
    std::string_view entry;
    while (next_piece(rest, ',', entry)) {
        if (trim_blanks(entry).empty()) continue;
        FaultEntry fault{};
        if (!read_fault(entry, fault)) {
            trace_note(variable_name, "ignored, not NAME=CODE, NAME#N=CODE or NAME%N=CODE:", entry);
        } else if (fault_count == fault_capacity) {
            trace_note(variable_name, "ignored, too many entries:", entry);
        } else {
            faults[fault_count++] = fault;
        }
    }
}

void faults_clear_counts() {
    for (auto& count : call_counts) count = 0;
}

bool fault_for_call(BusFunction function, std::int32_t& code) {
    const std::uint64_t call = ++call_counts[bus_function_index(function)];
    bool every_call = false;
    std::int32_t every_call_code = 0;
    bool this_call = false;
    for (std::size_t i = 0; i < fault_count; ++i) {
        const FaultEntry& fault = faults[i];
        if (fault.function != function) continue;
        if (fault.every != 0) {
            if (call % fault.every == 0) {
                this_call = true;
                code = fault.code;
            }
        } else if (fault.call == 0) {
            every_call = true;
            every_call_code = fault.code;
        } else if (fault.call == call) {
            this_call = true;
            code = fault.code;
        }
    }
    if (this_call) return true;
    if (every_call) code = every_call_code;
    return every_call;
}

}  // namespace sim
