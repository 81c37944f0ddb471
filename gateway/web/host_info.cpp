// The one place of the web page that asks the system about its network.
#include "host_info.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <unistd.h>
#endif

namespace gateway::web {

void dotted_text(char (&text)[16], std::uint32_t a) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(a >> 24), static_cast<unsigned>((a >> 16) & 0xFF),
                  static_cast<unsigned>((a >> 8) & 0xFF), static_cast<unsigned>(a & 0xFF));
}

namespace {

void mac_text(char (&text)[18], const unsigned char* bytes, std::size_t length) {
    text[0] = '\0';
    if (length != 6) return;
    bool all_zero = true;
    for (std::size_t i = 0; i < 6; ++i) all_zero = all_zero && bytes[i] == 0;
    if (all_zero) return;   // loopback and dummy interfaces have none worth showing
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", bytes[0], bytes[1], bytes[2], bytes[3],
                  bytes[4], bytes[5]);
}

#ifdef _WIN32

void read_interfaces(HostInfo& info) {
    // Enough for a PC with many adapters; what does not fit is not shown.
    static unsigned char buffer[64 * 1024];
    ULONG size = sizeof buffer;
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer);
    const ULONG flags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    if (GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size) != NO_ERROR) return;
    for (IP_ADAPTER_ADDRESSES* a = adapters; a != nullptr; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp) continue;
        std::uint32_t gateway = 0;
        for (IP_ADAPTER_GATEWAY_ADDRESS* g = a->FirstGatewayAddress; g != nullptr; g = g->Next) {
            if (g->Address.lpSockaddr->sa_family != AF_INET) continue;
            gateway = ntohl(reinterpret_cast<sockaddr_in*>(g->Address.lpSockaddr)->sin_addr.s_addr);
            break;
        }
        for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
            if (u->Address.lpSockaddr->sa_family != AF_INET || info.interface_count == interface_max) continue;
            HostInterface& i = info.interfaces[info.interface_count++];
            i.address = ntohl(reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr);
            const unsigned bits = u->OnLinkPrefixLength <= 32 ? u->OnLinkPrefixLength : 32;
            i.mask = bits == 0 ? 0 : ~static_cast<std::uint32_t>(0) << (32 - bits);
            mac_text(i.mac, a->PhysicalAddress, a->PhysicalAddressLength);
            i.gateway = gateway;
            i.dhcp = (a->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
        }
    }
}

#else

// The default gateway of the interface named name, from the kernel's routing table; 0 when none.
std::uint32_t default_gateway(const char* name) {
    std::FILE* routes = std::fopen("/proc/net/route", "r");
    if (routes == nullptr) return 0;
    char line[256];
    std::uint32_t found = 0;
    while (std::fgets(line, sizeof line, routes) != nullptr) {
        char interface_name[32];
        unsigned destination = 0;
        unsigned gateway = 0;
        if (std::sscanf(line, "%31s %x %x", interface_name, &destination, &gateway) != 3) continue;
        if (destination == 0 && gateway != 0 && std::strcmp(interface_name, name) == 0) {
            found = ntohl(gateway);
            break;
        }
    }
    std::fclose(routes);
    return found;
}

void read_interfaces(HostInfo& info) {
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return;
    for (ifaddrs* a = all; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_UP) == 0) continue;
        if (info.interface_count == interface_max) break;
        HostInterface& i = info.interfaces[info.interface_count++];
        i.address = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        i.mask = a->ifa_netmask ? ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr) : 0;
        i.mac[0] = '\0';
        i.gateway = default_gateway(a->ifa_name);
        i.dhcp = false;   // not told by the system
        for (ifaddrs* l = all; l != nullptr; l = l->ifa_next) {
            if (l->ifa_addr == nullptr || l->ifa_addr->sa_family != AF_PACKET || std::strcmp(l->ifa_name, a->ifa_name) != 0) {
                continue;
            }
            const auto* link = reinterpret_cast<const sockaddr_ll*>(l->ifa_addr);
            mac_text(i.mac, link->sll_addr, link->sll_halen);
        }
    }
    freeifaddrs(all);
}

#endif

}  // namespace

void host_info_read(HostInfo& info) {
    std::memset(&info, 0, sizeof info);
    if (gethostname(info.name, sizeof info.name - 1) != 0) std::snprintf(info.name, sizeof info.name, "localhost");
    read_interfaces(info);
}

}  // namespace gateway::web
