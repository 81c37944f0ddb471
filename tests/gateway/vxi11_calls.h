// Calls to the VXI-11 channels in this process, as records a client sends, for the gateway's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core_channel.h"
#include "rpc_program.h"
#include "vxi11_messages.h"
#include "xdr.h"

namespace vxi11_calls {

// A call record: the RPC header (xid 0x1234, no credentials) and the argument words.
inline std::vector<std::uint8_t> call(std::uint32_t rpc_version, std::uint32_t program, std::uint32_t version,
                                      std::uint32_t procedure, std::vector<std::uint32_t> arguments) {
    std::vector<std::uint32_t> words = {0x1234, 0, rpc_version, program, version, procedure, 0, 0, 0, 0};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::uint8_t> bytes(words.size() * 4);
    gateway::rpc::XdrWriter w = gateway::rpc::xdr_writer(bytes.data(), bytes.size());
    for (std::uint32_t word : words) gateway::rpc::xdr_put_u32(w, word);
    return bytes;
}

inline std::vector<std::uint32_t> words_of(const std::uint8_t* data, std::size_t size) {
    gateway::rpc::XdrReader r = gateway::rpc::xdr_reader(data, size);
    std::vector<std::uint32_t> words;
    while (r.at < r.size) words.push_back(gateway::rpc::xdr_get_u32(r));
    return words;
}

// Argument words followed by text as XDR opaque data.
inline std::vector<std::uint32_t> with_text(std::vector<std::uint32_t> words, const std::string& text) {
    words.push_back(static_cast<std::uint32_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            word = (word << 8) | (i + k < text.size() ? static_cast<std::uint8_t>(text[i + k]) : 0u);
        }
        words.push_back(word);
    }
    return words;
}

// The reply's words after the RPC header (xid, REPLY, accepted, verifier, success); the call's
// log line written.
inline std::vector<std::uint32_t> core_call(gateway::vxi11::CoreConnection& c, std::uint32_t procedure,
                                            std::vector<std::uint32_t> arguments) {
    using namespace gateway;
    const std::vector<std::uint8_t> record = call(2, vxi11::core_program, 1, procedure, std::move(arguments));
    std::uint8_t out[512];
    rpc::XdrWriter w = rpc::xdr_writer(out, sizeof out);
    rpc::CallHeader header{};
    EXPECT_EQ(rpc::rpc_serve(vxi11::core_programs, vxi11::core_program_count, &c, record.data(), record.size(), w,
                             header),
              rpc::Served::replied);
    std::vector<std::uint32_t> words = words_of(out, w.at);
    vxi11::core_log_flush(c);
    return words.size() > 6 ? std::vector<std::uint32_t>(words.begin() + 6, words.end()) : words;
}

}  // namespace vxi11_calls
