// The trace of bus calls: its exact lines, the escaping of texts, the copy in memory and the file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim_control.h"
#include "sim_fixture.h"
#include "taverix.h"
#include "trace_lines.h"

namespace {

using Trace = SimUninitialised;

std::string file_text(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
        std::fclose(file);
    }
    return text;
}

// A file of this test's own in the working folder, removed first.
std::string fresh_file_name() {
    std::string name = std::string("sim_trace_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    std::remove(name.c_str());
    return name;
}

TEST_F(Trace, OneExactLinePerCall) {
    char reply[256] = {};
    gp_init(1, 0, 0);
    gp_cli();
    gp_ren();
    gp_tmout(5);
    gp_clr("4");
    gp_wait(1);
    gp_llo();
    gp_wrt("4", ":FUNC SIN;:FREQ 1000.000000");
    gp_wrt("4", ":FUNC?");
    gp_red("4", reply, sizeof reply);
    gp_red("4", reply, sizeof reply);
    gp_lcl("");
    gp_init(0, -1, 2147483647);

    const std::vector<std::string> expected = {
        "gp_init(1, 0, 0) = 0",
        "gp_cli() = 0",
        "gp_ren() = 0",
        "gp_tmout(5) = 0",
        "gp_clr(\"4\") = 0",
        "gp_wait(1) = 0",
        "gp_llo() = 0",
        "gp_wrt(\"4\", \":FUNC SIN;:FREQ 1000.000000\") = 0",
        "gp_wrt(\"4\", \":FUNC?\") = 0",
        "gp_red(\"4\", 256) = 0 \"SIN\\n\"",
        "gp_red(\"4\", 256) = 4 \"\"",
        "gp_lcl(\"\") = 0",
        "gp_init(0, -1, 2147483647) = 2",
    };
    EXPECT_EQ(sim_trace_lines(), expected);
}

TEST_F(Trace, TextsAreEscaped) {
    gp_init(1, 0, 0);
    gp_wrt("4", "a\"b\\c\nd\re\tf\x01\x7f\x80\xff\x8f\x89");
    gp_wrt(nullptr, nullptr);
    taverix_sim_set("TAVERIX_SIM_REPLIES", "*IDN?=x\\x00y\\xe9");
    gp_wrt("4", "*IDN?");
    char reply[256];
    gp_red("4", reply, sizeof reply);

    const std::vector<std::string> lines = sim_trace_lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "gp_wrt(\"4\", \"a\\\"b\\\\c\\nd\\re\\tf\\x01\\x7f\\x80\\xff\\x8f\\x89\") = 0");
    EXPECT_EQ(lines[2], "gp_wrt(NULL, NULL) = 2");
    EXPECT_EQ(lines[4], "gp_red(\"4\", 256) = 0 \"x\\x00y\\xe9\"");
}

TEST_F(Trace, FaultedCallsAreTracedWithTheirCode) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_red=-2147483648");
    gp_init(1, 0, 0);
    gp_wrt("4", "*TST?");
    char reply[8];
    gp_red("4", reply, 8);
    EXPECT_EQ(sim_trace_lines().back(), "gp_red(\"4\", 8) = -2147483648 \"\"");
}

TEST_F(Trace, CopyIsTerminatedWithinSizeAndReportsTheWholeLength) {
    gp_cli();
    const std::string line = "gp_cli() = 1\n";
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(taverix_sim_trace(buffer, 5), static_cast<int>(line.size()));
    EXPECT_STREQ(buffer, "gp_c");
    EXPECT_EQ(buffer[5], 'z');
    EXPECT_EQ(taverix_sim_trace(nullptr, 100), static_cast<int>(line.size()));
    EXPECT_EQ(taverix_sim_trace(buffer, 0), static_cast<int>(line.size()));

    taverix_sim_reset();
    EXPECT_EQ(taverix_sim_trace(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(Trace, MemoryKeepsTheNewestWholeLinesWithinItsBound) {
    gp_init(1, 0, 0);
    const std::string message(3000, '\x80');  // 12000 bytes once escaped: the line is cut
    for (int i = 0; i < 100; ++i) gp_wrt("4", message.c_str());
    gp_cli();
    const int length = taverix_sim_trace(nullptr, 0);
    EXPECT_LE(length, 64 * 1024);
    const std::vector<std::string> lines = sim_trace_lines();
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "gp_cli() = 0");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_EQ(lines[i].rfind("gp_wrt(\"4\", \"\\x80", 0), 0u) << "only whole lines are kept";
        ASSERT_EQ(lines[i].substr(lines[i].size() - 9), "\"...) = 0");
    }
}

TEST_F(Trace, FileIsAppendedLineByLine) {
    const std::string path = fresh_file_name();
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fputs("earlier\n", file);
        std::fclose(file);
    }
    taverix_sim_set("TAVERIX_SIM_TRACE", path.c_str());
    gp_init(1, 0, 0);
    gp_wrt("4", "\xe9\n");
    EXPECT_EQ(file_text(path), "earlier\ngp_init(1, 0, 0) = 0\ngp_wrt(\"4\", \"\\xe9\\n\") = 0\n");

    // Read from the environment at reset, remarks included.
    environment_set("TAVERIX_SIM_TRACE", path.c_str());
    environment_set("TAVERIX_SIM_NO_REPLY", "maybe");
    taverix_sim_reset();
    gp_cli();
    taverix_sim_set("TAVERIX_SIM_TRACE", nullptr);
    gp_ren();
    EXPECT_EQ(file_text(path),
              "earlier\ngp_init(1, 0, 0) = 0\ngp_wrt(\"4\", \"\\xe9\\n\") = 0\n"
              "# TAVERIX_SIM_NO_REPLY: neither 0 nor 1, taken as 0: \"maybe\"\n"
              "gp_cli() = 1\n");
    std::remove(path.c_str());
}

}  // namespace
