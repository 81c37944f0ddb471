// taverix-gateway: the instruments on the TAVERIX bus as network instruments: SCPI text lines
// over TCP (raw socket) and VXI-11. Started from a console, or by the service manager once
// installed as a service; both take the one run in gateway_run.h.
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "gateway_log.h"
#include "gateway_run.h"
#ifdef _WIN32
#include "service_install.h"
#include "service_run.h"
#endif

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// A console's lines: start-up lines on standard output, failures and warnings on standard error;
// with the log in a file of its own, there too.
void console_line(const char* text, bool failure) {
    std::FILE* out = failure ? stderr : stdout;
    const std::size_t n = std::strlen(text);
    std::fputs(text, out);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', out);
    std::fflush(out);
    if (gateway::log_in_file()) gateway::log_note(text);
}

void console_warning(const char* text) { console_line(text, true); }

bool installing(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--install-service") == 0 || std::strcmp(argv[i], "--reinstall-service") == 0) return true;
    }
    return false;
}

bool open_log_file(const gateway::Options& options) {
    unsigned long error = 0;
    if (gateway::log_to_rotated_file(options.log_path, options.log_limit, gateway::log_files_kept, error)) return true;
    std::fprintf(stderr, "cannot open the log file %s (error %lu)\n", options.log_path, error);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    gateway::Options options;
    gateway::options_default(options);
    int failed_at = 0;
    if (!gateway::options_read(argc, argv, options, failed_at)) {
        if (failed_at < argc) {
            std::fprintf(stderr, "taverix-gateway: cannot take %s%s%s%s\n", argv[failed_at],
                         failed_at + 1 < argc && argv[failed_at][0] == '-' ? " " : "",
                         failed_at + 1 < argc && argv[failed_at][0] == '-' ? argv[failed_at + 1] : "",
                         installing(argc, argv) ? "; nothing was installed" : "");
        } else {
            std::fprintf(stderr, "taverix-gateway: %s needs a value\n", argv[argc - 1]);
        }
        std::fputs(gateway::usage_text, stderr);
        return exit_usage;
    }
    if (options.help) {
        std::fputs(gateway::usage_text, stdout);
        return 0;
    }

#ifdef _WIN32
    if (options.service) return gateway::service_run(options);
#endif
    if (options.service_action != gateway::ServiceAction::none) {
        gateway::options_warnings(options, console_warning);
#ifdef _WIN32
        return gateway::service_install(options, argc, argv);
#else
        std::fprintf(stderr, "taverix-gateway: services are a Windows matter; here, start it from a shell or a "
                             "service manager of the system's own\n");
        return exit_usage;
#endif
    }
#ifndef _WIN32
    if (options.service) {
        std::fprintf(stderr, "taverix-gateway: --service is for the Windows service manager\n");
        return exit_usage;
    }
#endif
    // The log file first, so that the warnings are in it too.
    if (options.log_path[0] != '\0' && !open_log_file(options)) return exit_failed;
    gateway::options_warnings(options, console_warning);
    const gateway::RunWatch watch{console_line, nullptr, nullptr};
    return gateway::run(options, watch) == gateway::RunEnd::stopped ? 0 : exit_failed;
}
