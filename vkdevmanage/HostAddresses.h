#pragma once

#include <cstdint>
#include <vector>

// The host's own IPv4 addresses (host order): interfaces that are up and not
// loopback, in the order the system lists them. Everything in the library
// that needs "the local addresses" asks this one function.
std::vector<uint32_t> hostIPv4Addresses();

// Test hook: replaces the system's list (null restores it). Not exported.
void setHostAddressesForTest(const std::vector<uint32_t> *addresses);
