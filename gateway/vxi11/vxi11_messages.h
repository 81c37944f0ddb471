// The VXI-11 core and abort channels' arguments and results, as the handlers see them, with their
// XDR forms. Data fields point into the record (arguments) or into the link (results): no copies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bus_transaction.h"
#include "xdr.h"

namespace gateway::vxi11 {

constexpr std::uint32_t core_program = 0x0607AF;
constexpr std::uint32_t abort_program = 0x0607B0;
constexpr std::uint32_t channel_version = 1;
constexpr std::uint32_t create_link_procedure = 10;

// Device_Flags
constexpr std::uint32_t flag_wait_lock = 0x01;
constexpr std::uint32_t flag_end = 0x08;
constexpr std::uint32_t flag_term_char = 0x80;

// Device_ReadResp reasons
constexpr std::int32_t reason_request_count = 0x01;
constexpr std::int32_t reason_term_char = 0x02;
constexpr std::int32_t reason_end = 0x04;

// Device_ErrorCode values
enum Error : std::int32_t {
    no_error = 0,
    device_not_accessible = 3,
    invalid_link = 4,
    parameter_error = 5,
    not_supported = 8,
    out_of_resources = 9,
    locked_by_another = 11,
    no_lock_held = 12,
    io_timeout = 15,
    io_error = 17,
    aborted = 23,
};

// The longest piece of data in one call, either way: a whole reply fits one device_read.
constexpr std::size_t data_max = reply_capacity;
// A reply record: its record mark, RPC header and the largest result (device_read's data).
constexpr std::size_t reply_record_max = 4 + 64 + data_max;

struct Void {};

struct CreateLinkArgs {
    std::int32_t client_id;
    bool lock_device;
    std::uint32_t lock_timeout;
    const char* device;
    std::size_t device_length;
};
struct CreateLinkResult {
    std::int32_t error;
    std::uint32_t link;
    std::uint32_t abort_port;
    std::uint32_t max_receive_size;
};

struct WriteArgs {
    std::uint32_t link;
    std::uint32_t io_timeout;
    std::uint32_t lock_timeout;
    std::uint32_t flags;
    const char* data;
    std::size_t data_length;
};
struct WriteResult {
    std::int32_t error;
    std::uint32_t size;
};

struct ReadArgs {
    std::uint32_t link;
    std::uint32_t request_size;
    std::uint32_t io_timeout;
    std::uint32_t lock_timeout;
    std::uint32_t flags;
    char term_char;
};
struct ReadResult {
    std::int32_t error;
    std::int32_t reason;
    const char* data;
    std::size_t data_length;
};

struct GenericArgs {
    std::uint32_t link;
    std::uint32_t flags;
    std::uint32_t lock_timeout;
    std::uint32_t io_timeout;
};

struct LockArgs {
    std::uint32_t link;
    std::uint32_t flags;
    std::uint32_t lock_timeout;
};

struct LinkArgs {
    std::uint32_t link;
};

struct EnableSrqArgs {
    std::uint32_t link;
    bool enable;
};

struct DocmdArgs {
    std::uint32_t link;
};

struct RemoteFuncArgs {
    std::uint32_t host_address;
    std::uint32_t host_port;
    std::uint32_t program;
    std::uint32_t version;
    std::uint32_t family;
};

struct ErrorResult {
    std::int32_t error;
};
struct ReadStbResult {
    std::int32_t error;
    std::uint32_t status_byte;
};
struct DocmdResult {
    std::int32_t error;
};

}  // namespace gateway::vxi11

namespace gateway::rpc {

bool xdr_decode(XdrReader& r, vxi11::Void& a);
bool xdr_decode(XdrReader& r, vxi11::CreateLinkArgs& a);
bool xdr_decode(XdrReader& r, vxi11::WriteArgs& a);
bool xdr_decode(XdrReader& r, vxi11::ReadArgs& a);
bool xdr_decode(XdrReader& r, vxi11::GenericArgs& a);
bool xdr_decode(XdrReader& r, vxi11::LockArgs& a);
bool xdr_decode(XdrReader& r, vxi11::LinkArgs& a);
bool xdr_decode(XdrReader& r, vxi11::EnableSrqArgs& a);
bool xdr_decode(XdrReader& r, vxi11::DocmdArgs& a);
bool xdr_decode(XdrReader& r, vxi11::RemoteFuncArgs& a);

void xdr_encode(XdrWriter& w, const vxi11::Void& v);
void xdr_encode(XdrWriter& w, const vxi11::CreateLinkResult& v);
void xdr_encode(XdrWriter& w, const vxi11::WriteResult& v);
void xdr_encode(XdrWriter& w, const vxi11::ReadResult& v);
void xdr_encode(XdrWriter& w, const vxi11::ErrorResult& v);
void xdr_encode(XdrWriter& w, const vxi11::ReadStbResult& v);
void xdr_encode(XdrWriter& w, const vxi11::DocmdResult& v);

}  // namespace gateway::rpc
