#pragma once

#include <cstdint>

// One manual device range: from-address and to-address texts and a port.
struct ManualDeviceRange
{
    char from[30] = {};
    char to[30] = {};
    uint32_t port = 0;

    // Dotted text to a number: 0 when a character other than a digit or "."
    // occurs or the text is empty; each part is shifted in 8 bits at a time.
    static uint32_t parseDottedIp(const char *text);
    void set(const char *fromText, const char *toText, uint32_t portValue);
};
