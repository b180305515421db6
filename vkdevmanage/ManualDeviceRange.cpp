#include "ManualDeviceRange.h"

#include <cstring>

uint32_t ManualDeviceRange::parseDottedIp(const char *text)
{
    if (!text || !*text)
        return 0;
    for (const char *p = text; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.'))
            return 0;
    uint32_t result = 0, part = 0;
    for (const char *p = text;; ++p) {
        if (*p == '.' || *p == 0) {
            result = (result << 8) + part;
            part = 0;
            if (*p == 0)
                break;
        } else {
            part = part * 10 + uint32_t(*p - '0');
        }
    }
    return result;
}

void ManualDeviceRange::set(const char *fromText, const char *toText, uint32_t portValue)
{
    std::memset(from, 0, sizeof from);
    std::memset(to, 0, sizeof to);
    if (fromText)
        std::strncpy(from, fromText, sizeof from - 1);
    if (toText)
        std::strncpy(to, toText, sizeof to - 1);
    port = portValue;
}
