#include "trace_lines.h"

#include "sim_control.h"
#include "text_lines.h"

std::vector<std::string> sim_trace_lines() {
    std::string text(static_cast<std::size_t>(taverix_sim_trace(nullptr, 0)) + 1, '\0');
    taverix_sim_trace(text.data(), static_cast<int>(text.size()));
    text.resize(text.find('\0'));
    return split_lines(text);
}

std::vector<std::string> sim_trace_calls(const std::string& prefix) {
    std::vector<std::string> calls;
    for (const std::string& line : sim_trace_lines())
        if (line.compare(0, prefix.size(), prefix) == 0) calls.push_back(line);
    return calls;
}
