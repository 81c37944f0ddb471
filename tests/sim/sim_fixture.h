// Common ground for the simulator's tests: a clean environment, an initialised bus and the
// instrument at address 4, and short exchanges with it.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Sets (or, with null, removes) a variable of this process's environment.
void environment_set(const char* name, const char* value);

// Reads one reply from address 4 into a 256-byte buffer: the reply text, or "<status N>" when the
// read fails.
std::string read_reply();

// Writes a message to address 4 and reads one reply into a 256-byte buffer: the reply text, or
// "<status N>" when either call fails.
std::string query(const char* message);

// The oldest entry of the instrument's error queue, without its line feed.
std::string next_error();

// Each test starts from a freshly reset simulator with none of its variables in the environment,
// reads time out after 1 ms a unit, and gp_init(1, 0, 0) has run.
class Sim : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// The same, before gp_init.
class SimUninitialised : public Sim {
protected:
    void SetUp() override;
};
