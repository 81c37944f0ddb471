#include "record_input.h"

#include <cstring>

namespace gateway::rpc {

namespace {

constexpr std::uint32_t last_fragment_bit = 0x80000000u;

}  // namespace

void record_input_reset(RecordInput& input) {
    input.length = 0;
    input.mark_length = 0;
    input.fragment_left = 0;
    input.last_fragment = false;
}

std::size_t record_input_take(RecordInput& in, const std::uint8_t* data, std::size_t size,
                              RecordVerdict& verdict) {
    verdict = RecordVerdict::incomplete;
    std::size_t used = 0;
    for (;;) {
        if (in.mark_length < 4) {
            while (in.mark_length < 4 && used < size) in.mark[in.mark_length++] = data[used++];
            if (in.mark_length < 4) return used;
            const std::uint32_t mark = (std::uint32_t{in.mark[0]} << 24) | (std::uint32_t{in.mark[1]} << 16) |
                                       (std::uint32_t{in.mark[2]} << 8) | std::uint32_t{in.mark[3]};
            in.last_fragment = (mark & last_fragment_bit) != 0;
            in.fragment_left = mark & ~last_fragment_bit;
            if (in.fragment_left > record_max - in.length) {
                verdict = RecordVerdict::too_long;
                return used;
            }
        }
        const std::size_t n = in.fragment_left < size - used ? in.fragment_left : size - used;
        std::memcpy(in.data + in.length, data + used, n);
        in.length += n;
        in.fragment_left -= n;
        used += n;
        if (in.fragment_left > 0) return used;
        if (in.last_fragment) {
            verdict = RecordVerdict::record;
            return used;
        }
        in.mark_length = 0;   // the next fragment's mark
        if (used == size) return used;
    }
}

void record_mark_write(std::uint8_t* mark, std::size_t size) {
    const std::uint32_t value = last_fragment_bit | static_cast<std::uint32_t>(size);
    mark[0] = static_cast<std::uint8_t>(value >> 24);
    mark[1] = static_cast<std::uint8_t>(value >> 16);
    mark[2] = static_cast<std::uint8_t>(value >> 8);
    mark[3] = static_cast<std::uint8_t>(value);
}

}  // namespace gateway::rpc
