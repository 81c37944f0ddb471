// XDR reading and writing over fixed buffers. Every field is checked against the buffer's end: a
// reader or writer that ran out stays failed (ok false) and yields zeros from then on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gateway::rpc {

struct XdrReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    bool ok;
};

struct XdrWriter {
    std::uint8_t* data;
    std::size_t capacity;
    std::size_t at;
    bool ok;
};

inline XdrReader xdr_reader(const std::uint8_t* data, std::size_t size) { return {data, size, 0, true}; }
inline XdrWriter xdr_writer(std::uint8_t* data, std::size_t capacity) { return {data, capacity, 0, true}; }

std::uint32_t xdr_get_u32(XdrReader& r);
std::int32_t xdr_get_i32(XdrReader& r);
bool xdr_get_bool(XdrReader& r);   // 0 or 1; anything else fails the reader
// Variable-length opaque data or a string of at most max bytes (padded to 4): points into the
// reader's buffer, no copy.
void xdr_get_opaque(XdrReader& r, std::size_t max, const char*& bytes, std::size_t& length);

void xdr_put_u32(XdrWriter& w, std::uint32_t value);
inline void xdr_put_i32(XdrWriter& w, std::int32_t value) { xdr_put_u32(w, static_cast<std::uint32_t>(value)); }
void xdr_put_opaque(XdrWriter& w, const char* bytes, std::size_t length);

}  // namespace gateway::rpc
