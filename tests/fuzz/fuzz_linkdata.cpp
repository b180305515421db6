// libFuzzer target for the handling of bytes that a device sends on its data
// link: processLinkBytes (identification frame, ID check, in-band sequences)
// and stripMarkerBytes. The first input byte chooses the link state, the
// marker mode and TCP link or UDP channel (bit 4); the rest is the data, in a
// buffer of exactly its size so that AddressSanitizer sees every access past
// the end.
#include "LinkData.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = input[0];
    const bool identified = control & 1;
    const uint8_t mode = uint8_t((control >> 1) & 7);
    const LinkTransport transport = (control & 0x10) ? LinkTransport::Udp : LinkTransport::Tcp;
    const int length = int(size - 1);
    std::vector<uint8_t> data(input + 1, input + size);
    const uint8_t entryId[6] = {0x56, 0x4B, 0x00, 0x00, 0x00, 0x01};

    LinkScan scan;
    uint8_t *p = data.empty() ? nullptr : data.data();
    const int left = processLinkBytes(p, length, transport, identified, entryId, scan);
    if (left < 0 || left > length)
        std::abort();
    if (scan.identified && transport == LinkTransport::Udp)
        std::abort();
    if (scan.identified && left != length - kIdentFrameSize)
        std::abort();
    const int stripped = stripMarkerBytes(p, left, mode);
    if (stripped < 0 || stripped > left)
        std::abort();
    // Only removals: what is left is a subsequence of what came in, in order.
    size_t j = 1;
    for (int i = 0; i < stripped; ++i) {
        while (j < size && input[j] != data[size_t(i)])
            ++j;
        if (j == size)
            std::abort();
        ++j;
    }
    return 0;
}
