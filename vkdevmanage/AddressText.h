#pragma once

#include <cstdint>

// IPv4 addresses as the library's texts hold them: dotted decimal, the
// number in host order.

// The address of a dotted text; 0 for none, an empty or an invalid text.
uint32_t dottedToHost(const char *text);
// The dotted text of an address into a 16-byte field (empty when it fails).
void toDotted(uint32_t address, char out[16]);
