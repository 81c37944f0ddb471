// ONC RPC record marking over a stream: a record is one or more fragments, each behind a 4-byte
// mark (top bit: last fragment; the rest: its length). The fragments are joined in a fixed buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gateway::rpc {

// The longest record taken; a longer one ends the connection.
constexpr std::size_t record_max = 8192;

enum class RecordVerdict { incomplete, record, too_long };

struct RecordInput {
    std::uint8_t data[record_max];
    std::size_t length;          // bytes of the record so far
    std::uint8_t mark[4];
    std::size_t mark_length;     // bytes of the current fragment's mark so far
    std::size_t fragment_left;   // bytes of the current fragment still to come
    bool last_fragment;
};

void record_input_reset(RecordInput& input);

// Takes bytes from data up to the end of the next record at most and returns how many it took.
// For RecordVerdict::record, data[0..length) holds the record: call record_input_reset before
// taking the next one's bytes. RecordVerdict::too_long: the stream cannot be followed further.
std::size_t record_input_take(RecordInput& input, const std::uint8_t* data, std::size_t size,
                              RecordVerdict& verdict);

// Writes the mark of a one-fragment record of size bytes (at most 0x7FFFFFFF) into mark.
void record_mark_write(std::uint8_t* mark, std::size_t size);

}  // namespace gateway::rpc
