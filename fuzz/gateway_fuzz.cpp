// Fuzz target: what a network client can reach. The input is the byte stream of one connection
// (its first byte chooses the size of the pieces it arrives in). Checked against a plain model of
// the line rules: every line is either refused whole or reaches the bus byte for byte, a query's
// reply comes back whole with one line feed, and the simulated instrument reads every accepted
// line without running past a buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bus_transaction.h"
#include "instrument.h"
#include "line_input.h"
#include "message_rules.h"
#include "reply_bus_stub.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n  %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

// The instrument behind the stub bus: the message three times, then a line feed.
std::string reply_to(const char*, const char* message) {
    const std::string m = message;
    return m + m + m + "\n";
}

namespace {

enum class Expected { line, too_long, zero_byte };

struct ModelLine {
    Expected verdict;
    std::string text;
};

// The rules written plainly: lines end at '\n', one '\r' before it dropped, over 255 bytes or
// a zero byte refused. Bytes after the last line feed make no line yet.
std::vector<ModelLine> model_lines(const std::uint8_t* data, std::size_t size) {
    std::vector<ModelLine> lines;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') {
            current += static_cast<char>(data[i]);
            continue;
        }
        if (!current.empty() && current.back() == '\r') current.pop_back();
        Expected v = Expected::line;
        if (current.size() > gateway::message_max) {
            v = Expected::too_long;
        } else if (current.find('\0') != std::string::npos) {
            v = Expected::zero_byte;
        }
        lines.push_back({v, current});
        current.clear();
    }
    return lines;
}

void check_transaction(const std::string& line) {
    static gateway::Transaction t;
    reply_bus.writes = 0;
    reply_bus.clears = 0;
    const bool query = gateway::message_has_query(line.data(), line.size());
    if (query && line.find('?') == std::string::npos) fail("a query without a question mark", line);
    gateway::bus_transaction("4", line.c_str(), query, t);
    if (reply_bus.writes != 1 || reply_bus.written != line) fail("the bus did not get the line byte for byte", line);
    if (!query) {
        if (t.outcome != gateway::Outcome::written) fail("a command came back with a reply", line);
        return;
    }
    std::string expected = line + line + line;
    if (t.outcome != gateway::Outcome::replied || reply_bus.clears != 0) fail("a query's reply was lost", line);
    if (t.reply_length != expected.size() + 1 || std::memcmp(t.reply, expected.data(), expected.size()) != 0 ||
        t.reply[expected.size()] != '\n' || t.reply[expected.size() + 1] != '\0') {
        fail("the reply did not come back whole with one line feed", line);
    }
}

void check_instrument(const std::string& line) {
    sim::instrument_receive(line);
    for (int reads = 0; reads < 64 && sim::instrument_reply_pending(); ++reads) {
        char buffer[gateway::read_size + 1];
        buffer[gateway::read_size] = 'G';   // a guard byte past what the read may use
        std::size_t delivered = 0;
        if (!sim::instrument_send_reply(buffer, gateway::read_size, delivered)) fail("a pending reply not sent", line);
        if (delivered > gateway::read_size - 1 || buffer[delivered] != '\0' || buffer[gateway::read_size] != 'G') {
            fail("the instrument wrote past its reply buffer", line);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    ++data;
    --size;

    const std::vector<ModelLine> model = model_lines(data, size);
    gateway::LineInput input;
    gateway::line_input_reset(input);
    std::size_t next = 0;
    for (std::size_t at = 0; at < size; at += piece) {
        const std::size_t piece_size = size - at < piece ? size - at : piece;
        std::size_t used = 0;
        while (used < piece_size) {
            gateway::LineVerdict verdict = gateway::LineVerdict::incomplete;
            const std::size_t taken = gateway::line_input_take(
                input, reinterpret_cast<const char*>(data + at + used), piece_size - used, verdict);
            if (taken == 0 || taken > piece_size - used) fail("bytes taken out of range", std::to_string(taken));
            used += taken;
            if (input.length > gateway::message_max + 1 || input.text[input.length] != '\0') {
                fail("the line buffer overran", std::to_string(input.length));
            }
            if (verdict == gateway::LineVerdict::incomplete) continue;
            if (next == model.size()) fail("a line where the model has none", std::string(input.text, input.length));
            const ModelLine& want = model[next++];
            const std::string got(input.text, input.length);
            switch (verdict) {
                case gateway::LineVerdict::line:
                    if (want.verdict != Expected::line || got != want.text) fail("a line not taken as it came", want.text);
                    if (!got.empty()) {
                        check_transaction(got);
                        check_instrument(got);
                    }
                    break;
                case gateway::LineVerdict::too_long:
                    if (want.verdict != Expected::too_long) fail("a line refused as too long", want.text);
                    break;
                case gateway::LineVerdict::zero_byte:
                    if (want.verdict != Expected::zero_byte) fail("a line refused for a zero byte", want.text);
                    break;
                case gateway::LineVerdict::incomplete: break;
            }
            gateway::line_input_reset(input);
        }
    }
    if (next != model.size()) fail("a line of the model never came", std::to_string(model.size() - next));
    return 0;
}
