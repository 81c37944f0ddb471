// The gateway's line rules: how bytes become lines or refusals, and which messages are queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_input.h"
#include "message_rules.h"

namespace {

using gateway::LineVerdict;

struct Taken {
    LineVerdict verdict;
    std::string text;
};

// Feeds the bytes in pieces of piece_size and collects every line or refusal.
std::vector<Taken> take_all(const std::string& bytes, std::size_t piece_size) {
    gateway::LineInput input;
    gateway::line_input_reset(input);
    std::vector<Taken> taken;
    for (std::size_t at = 0; at < bytes.size(); at += piece_size) {
        const std::string piece = bytes.substr(at, piece_size);
        std::size_t used = 0;
        while (used < piece.size()) {
            LineVerdict verdict = LineVerdict::incomplete;
            used += gateway::line_input_take(input, piece.data() + used, piece.size() - used, verdict);
            if (verdict != LineVerdict::incomplete) {
                taken.push_back({verdict, std::string(input.text, input.length)});
                gateway::line_input_reset(input);
            }
        }
    }
    return taken;
}

TEST(GatewayLines, EndAtLineFeedsWithOneCarriageReturnDroppedWhateverThePieces) {
    const std::string bytes = "*IDN?\r\n:FREQ 1\n\r\n\r\r\nx\r";
    for (std::size_t piece : {1u, 2u, 3u, 7u, 100u}) {
        const auto taken = take_all(bytes, piece);
        ASSERT_EQ(taken.size(), 4u) << piece;
        EXPECT_EQ(taken[0].text, "*IDN?");
        EXPECT_EQ(taken[1].text, ":FREQ 1");
        EXPECT_EQ(taken[2].text, "");
        EXPECT_EQ(taken[3].text, "\r");
        for (const Taken& t : taken) EXPECT_EQ(t.verdict, LineVerdict::line);
    }
}

TEST(GatewayLines, OverLongOrZeroByteLinesAreRefusedAndTheNextLineIsWhole) {
    const std::string longest(255, 'a');
    const std::string zero = std::string("ab") + '\0' + "c";
    const std::string bytes = longest + "\r\n" + longest + "b\n" + longest + "\r\r\n" + zero + "\n" +
                              std::string(5000, 'z') + "\n:OUTP?\n";
    for (std::size_t piece : {1u, 255u, 256u, 4096u}) {
        const auto taken = take_all(bytes, piece);
        ASSERT_EQ(taken.size(), 6u) << piece;
        EXPECT_EQ(taken[0].verdict, LineVerdict::line);
        EXPECT_EQ(taken[0].text, longest);
        EXPECT_EQ(taken[1].verdict, LineVerdict::too_long);
        EXPECT_EQ(taken[2].verdict, LineVerdict::too_long);
        EXPECT_EQ(taken[3].verdict, LineVerdict::zero_byte);
        EXPECT_EQ(taken[3].text, zero);
        EXPECT_EQ(taken[4].verdict, LineVerdict::too_long);
        EXPECT_EQ(taken[5].verdict, LineVerdict::line);
        EXPECT_EQ(taken[5].text, ":OUTP?");
    }
}

TEST(GatewayQueries, AHeaderEndingInAQuestionMarkOutsideQuotes) {
    struct Case {
        const char* message;
        bool query;
    };
    const Case cases[] = {
        {"*IDN?", true},
        {":FREQ?", true},
        {"  :freq? MAX", true},
        {":FREQ 1000;:FREQ?", true},
        {":FREQ 1000 ; *OPC?", true},
        {":FREQ 1000", false},
        {":FREQ 1000 ?", false},
        {":SYST:ERR \"a?\"", false},
        {":DISP:TEXT \"x;*IDN?\"", false},
        {":DISP:TEXT 'x;*IDN?'", false},
        {":DISP:TEXT \"say \"\"hi;*IDN?\"\"\";:OUTP ON", false},
        {":DISP:TEXT \"a\";*IDN?", true},
        {":DISP:TEXT \"open;*IDN?", false},
        {"?", true},
        {"", false},
        {";;", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gateway::message_has_query(c.message, std::string(c.message).size()), c.query) << c.message;
    }
}

}  // namespace
