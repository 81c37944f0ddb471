#include "trace_lines.h"

#include "sim_control.h"

std::vector<std::string> sim_trace_lines() {
    std::string text(static_cast<std::size_t>(taverix_sim_trace(nullptr, 0)) + 1, '\0');
    taverix_sim_trace(text.data(), static_cast<int>(text.size()));
    text.resize(text.find('\0'));

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> sim_trace_calls(const std::string& prefix) {
    std::vector<std::string> calls;
    for (const std::string& line : sim_trace_lines())
        if (line.compare(0, prefix.size(), prefix) == 0) calls.push_back(line);
    return calls;
}
