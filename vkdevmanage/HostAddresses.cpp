#include "HostAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace {
bool g_overridden = false;
std::vector<uint32_t> g_override;
} // namespace

std::vector<uint32_t> hostIPv4Addresses()
{
    if (g_overridden)
        return g_override;
    std::vector<uint32_t> out;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (ifaddrs *i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        out.push_back(ntohl(reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr));
    }
    freeifaddrs(list);
    return out;
}

void setHostAddressesForTest(const std::vector<uint32_t> *addresses)
{
    g_overridden = addresses != nullptr;
    g_override = addresses ? *addresses : std::vector<uint32_t>();
}
