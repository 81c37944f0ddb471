#include "fake_bus.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace {

std::vector<std::string> log_lines;
std::map<int, BusStatus> write_failures;
std::map<int, std::pair<std::string, BusStatus>> replies;
int writes = 0;
int reads = 0;

std::string quoted(const char* text) { return '"' + std::string(text) + '"'; }

}  // namespace

void fake_bus_reset() {
    log_lines.clear();
    write_failures.clear();
    replies.clear();
    writes = 0;
    reads = 0;
}

void fake_bus_fail_write(int nth, BusStatus status) { write_failures[nth] = status; }

void fake_bus_reply(int nth, const std::string& bytes, BusStatus status) { replies[nth] = {bytes, status}; }

void fake_bus_note(const std::string& line) { log_lines.push_back(line); }

const std::vector<std::string>& fake_bus_log() { return log_lines; }

extern "C" {

BusStatus TAVERIX_CALL gp_init(std::uint16_t own, std::int32_t, std::int32_t) {
    log_lines.push_back("gp_init(" + std::to_string(own) + ")");
    return 0;
}
BusStatus TAVERIX_CALL gp_cli() { log_lines.push_back("gp_cli()"); return 0; }
BusStatus TAVERIX_CALL gp_ren() { log_lines.push_back("gp_ren()"); return 0; }
BusStatus TAVERIX_CALL gp_tmout(std::int32_t t) { log_lines.push_back("gp_tmout(" + std::to_string(t) + ")"); return 0; }
BusStatus TAVERIX_CALL gp_clr(const char* a) { log_lines.push_back("gp_clr(" + quoted(a) + ")"); return 0; }
BusStatus TAVERIX_CALL gp_wait(std::int32_t d) { log_lines.push_back("gp_wait(" + std::to_string(d) + ")"); return 0; }
BusStatus TAVERIX_CALL gp_llo() { log_lines.push_back("gp_llo()"); return 0; }
BusStatus TAVERIX_CALL gp_lcl(const char* a) { log_lines.push_back("gp_lcl(" + quoted(a) + ")"); return 0; }

BusStatus TAVERIX_CALL gp_wrt(const char* address, const char* message) {
    log_lines.push_back("gp_wrt(" + quoted(address) + ", " + quoted(message) + ")");
    const auto failure = write_failures.find(++writes);
    return failure == write_failures.end() ? 0 : failure->second;
}

BusStatus TAVERIX_CALL gp_red(const char* address, char* reply, std::int32_t size) {
    log_lines.push_back("gp_red(" + quoted(address) + ", " + std::to_string(size) + ")");
    const auto answer = replies.find(++reads);
    if (answer == replies.end()) return 0;
    const std::string& bytes = answer->second.first;
    std::memcpy(reply, bytes.data(), std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(size)));
    return answer->second.second;
}

}  // extern "C"
