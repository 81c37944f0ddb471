#include "vxi11_messages.h"

namespace gateway::rpc {

namespace {

constexpr std::size_t device_name_max = 64;
constexpr std::size_t srq_handle_max = 40;

}  // namespace

bool xdr_decode(XdrReader&, vxi11::Void&) { return true; }

bool xdr_decode(XdrReader& r, vxi11::CreateLinkArgs& a) {
    a.client_id = xdr_get_i32(r);
    a.lock_device = xdr_get_bool(r);
    a.lock_timeout = xdr_get_u32(r);
    xdr_get_opaque(r, device_name_max, a.device, a.device_length);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::WriteArgs& a) {
    a.link = xdr_get_u32(r);
    a.io_timeout = xdr_get_u32(r);
    a.lock_timeout = xdr_get_u32(r);
    a.flags = xdr_get_u32(r);
    xdr_get_opaque(r, vxi11::data_max, a.data, a.data_length);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::ReadArgs& a) {
    a.link = xdr_get_u32(r);
    a.request_size = xdr_get_u32(r);
    a.io_timeout = xdr_get_u32(r);
    a.lock_timeout = xdr_get_u32(r);
    a.flags = xdr_get_u32(r);
    a.term_char = static_cast<char>(xdr_get_u32(r) & 0xFF);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::GenericArgs& a) {
    a.link = xdr_get_u32(r);
    a.flags = xdr_get_u32(r);
    a.lock_timeout = xdr_get_u32(r);
    a.io_timeout = xdr_get_u32(r);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::LockArgs& a) {
    a.link = xdr_get_u32(r);
    a.flags = xdr_get_u32(r);
    a.lock_timeout = xdr_get_u32(r);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::LinkArgs& a) {
    a.link = xdr_get_u32(r);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::EnableSrqArgs& a) {
    a.link = xdr_get_u32(r);
    a.enable = xdr_get_bool(r);
    const char* handle = nullptr;
    std::size_t length = 0;
    xdr_get_opaque(r, srq_handle_max, handle, length);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::DocmdArgs& a) {
    a.link = xdr_get_u32(r);
    xdr_get_u32(r);   // flags
    xdr_get_u32(r);   // io_timeout
    xdr_get_u32(r);   // lock_timeout
    xdr_get_i32(r);   // cmd
    xdr_get_bool(r);  // network_order
    xdr_get_i32(r);   // datasize
    const char* data = nullptr;
    std::size_t length = 0;
    xdr_get_opaque(r, vxi11::data_max, data, length);
    return r.ok;
}

bool xdr_decode(XdrReader& r, vxi11::RemoteFuncArgs& a) {
    a.host_address = xdr_get_u32(r);
    a.host_port = xdr_get_u32(r);
    a.program = xdr_get_u32(r);
    a.version = xdr_get_u32(r);
    a.family = xdr_get_u32(r);
    return r.ok;
}

void xdr_encode(XdrWriter&, const vxi11::Void&) {}

void xdr_encode(XdrWriter& w, const vxi11::CreateLinkResult& v) {
    xdr_put_i32(w, v.error);
    xdr_put_u32(w, v.link);
    xdr_put_u32(w, v.abort_port);
    xdr_put_u32(w, v.max_receive_size);
}

void xdr_encode(XdrWriter& w, const vxi11::WriteResult& v) {
    xdr_put_i32(w, v.error);
    xdr_put_u32(w, v.size);
}

void xdr_encode(XdrWriter& w, const vxi11::ReadResult& v) {
    xdr_put_i32(w, v.error);
    xdr_put_i32(w, v.reason);
    xdr_put_opaque(w, v.data, v.data_length);
}

void xdr_encode(XdrWriter& w, const vxi11::ErrorResult& v) { xdr_put_i32(w, v.error); }

void xdr_encode(XdrWriter& w, const vxi11::ReadStbResult& v) {
    xdr_put_i32(w, v.error);
    xdr_put_u32(w, v.status_byte);
}

void xdr_encode(XdrWriter& w, const vxi11::DocmdResult& v) {
    xdr_put_i32(w, v.error);
    xdr_put_opaque(w, "", 0);
}

}  // namespace gateway::rpc
