#include "AddressText.h"

#include <arpa/inet.h>
#include <netinet/in.h>

uint32_t dottedToHost(const char *text)
{
    in_addr a {};
    if (!text || !*text || inet_aton(text, &a) == 0)
        return 0;
    return ntohl(a.s_addr);
}

void toDotted(uint32_t address, char out[16])
{
    in_addr a {};
    a.s_addr = htonl(address);
    if (!inet_ntop(AF_INET, &a, out, 16))
        out[0] = 0;
}
