// taverix-gateway: the instruments on the TAVERIX bus as network instruments: SCPI text lines
// over TCP (raw socket) and VXI-11.
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "gateway_run.h"

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// A console's lines: start-up lines on standard output, failures and warnings on standard error.
void console_line(const char* text, bool failure) {
    std::FILE* out = failure ? stderr : stdout;
    const std::size_t n = std::strlen(text);
    std::fputs(text, out);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', out);
    std::fflush(out);
}

void console_warning(const char* text) { console_line(text, true); }

}  // namespace

int main(int argc, char** argv) {
    gateway::Options options;
    gateway::options_default(options);
    if (!gateway::options_read(argc, argv, options)) {
        std::fputs(gateway::usage_text, stderr);
        return exit_usage;
    }
    if (options.help) {
        std::fputs(gateway::usage_text, stdout);
        return 0;
    }

    gateway::options_warnings(options, console_warning);
    const gateway::RunWatch watch{console_line, nullptr, nullptr};
    return gateway::run(options, watch) == gateway::RunEnd::stopped ? 0 : exit_failed;
}
