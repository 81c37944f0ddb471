#include "sim_fixture.h"

#include <cstdlib>

#include "sim_control.h"
#include "taverix.h"

namespace {

constexpr const char* variables[] = {
    "TAVERIX_SIM_ADDRESS", "TAVERIX_SIM_TRACE",    "TAVERIX_SIM_FAULTS",     "TAVERIX_SIM_SELFTEST",
    "TAVERIX_SIM_REPLIES", "TAVERIX_SIM_NO_REPLY", "TAVERIX_SIM_TIMEOUT_MS",
    "TAVERIX_SIM_REPLY_DELAY_MS", "TAVERIX_SIM_DISPLAY", "TAVERIX_SIM_FULL_READS",
};

void clean_start() {
    for (const char* name : variables) environment_set(name, nullptr);
    taverix_sim_reset();
    taverix_sim_set("TAVERIX_SIM_TIMEOUT_MS", "1");
}

}  // namespace

void environment_set(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

std::string read_reply() {
    char reply[256] = {};
    if (BusStatus s = gp_red("4", reply, sizeof reply); s != 0) return "<status " + std::to_string(s) + ">";
    return reply;
}

std::string query(const char* message) {
    if (BusStatus s = gp_wrt("4", message); s != 0) return "<status " + std::to_string(s) + ">";
    return read_reply();
}

std::string next_error() {
    std::string reply = query(":SYST:ERR?");
    if (!reply.empty() && reply.back() == '\n') reply.pop_back();
    return reply;
}

void Sim::SetUp() {
    clean_start();
    ASSERT_EQ(gp_init(1, 0, 0), 0);
}

void Sim::TearDown() {
    for (const char* name : variables) environment_set(name, nullptr);
    taverix_sim_reset();
}

void SimUninitialised::SetUp() { clean_start(); }
