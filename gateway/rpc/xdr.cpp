#include "xdr.h"

#include <cstring>

namespace gateway::rpc {

namespace {

std::size_t padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

}  // namespace

std::uint32_t xdr_get_u32(XdrReader& r) {
    if (!r.ok || r.size - r.at < 4) {
        r.ok = false;
        return 0;
    }
    const std::uint8_t* p = r.data + r.at;
    r.at += 4;
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

std::int32_t xdr_get_i32(XdrReader& r) { return static_cast<std::int32_t>(xdr_get_u32(r)); }

bool xdr_get_bool(XdrReader& r) {
    const std::uint32_t value = xdr_get_u32(r);
    if (value > 1) r.ok = false;
    return r.ok && value == 1;
}

void xdr_get_opaque(XdrReader& r, std::size_t max, const char*& bytes, std::size_t& length) {
    bytes = "";
    length = 0;
    const std::uint32_t n = xdr_get_u32(r);
    if (!r.ok) return;
    if (n > max || padded(n) > r.size - r.at) {
        r.ok = false;
        return;
    }
    bytes = reinterpret_cast<const char*>(r.data + r.at);
    length = n;
    r.at += padded(n);
}

void xdr_put_u32(XdrWriter& w, std::uint32_t value) {
    if (!w.ok || w.capacity - w.at < 4) {
        w.ok = false;
        return;
    }
    std::uint8_t* p = w.data + w.at;
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
    w.at += 4;
}

void xdr_put_opaque(XdrWriter& w, const char* bytes, std::size_t length) {
    xdr_put_u32(w, static_cast<std::uint32_t>(length));
    if (!w.ok || padded(length) > w.capacity - w.at) {
        w.ok = false;
        return;
    }
    if (length > 0) std::memcpy(w.data + w.at, bytes, length);
    std::memset(w.data + w.at + length, 0, padded(length) - length);
    w.at += padded(length);
}

}  // namespace gateway::rpc
