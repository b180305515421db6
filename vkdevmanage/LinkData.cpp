#include "LinkData.h"

#include <cstring>

namespace {

const uint8_t kIdentHead[6] = {0xFA, 0x07, 0x13, 0x02, 0xFA, 0x02};

int removeFront(uint8_t *data, int length, int count)
{
    std::memmove(data, data + count, size_t(length - count));
    return length - count;
}

bool isInBand(const uint8_t *p, int left)
{
    return left >= 3 && p[0] == 0xFA && p[1] == 0x01 && p[2] == 0x01;
}

bool isMarker(const uint8_t *p, int left)
{
    return left >= kMarkerSize && p[0] == 0xFC && p[1] == 0xD6 && p[2] == 0xE9 && (p[3] == 0x00 || p[3] == 0x01);
}

// Copies data to itself leaving out every match, scanning only original bytes.
template <typename Match>
int compact(uint8_t *data, int length, int matchSize, Match match)
{
    int r = 0, w = 0;
    while (r < length) {
        if (match(data + r, length - r)) {
            r += matchSize;
            continue;
        }
        data[w++] = data[r++];
    }
    return w;
}

} // namespace

int processLinkBytes(uint8_t *data, int length, LinkTransport transport, bool linkIdentified, const uint8_t entryId[6],
                     LinkScan &scan)
{
    scan = LinkScan();
    if (!data || length <= 0)
        return length < 0 ? 0 : length;

    if (transport == LinkTransport::Tcp && length >= kIdentFrameSize && std::memcmp(data, kIdentHead, 6) == 0
        && data[12] == 0xFA && data[13] == 0xFF) {
        scan.identified = true;
        std::memcpy(scan.id, data + 6, 6);
        return removeFront(data, length, kIdentFrameSize);
    }
    if (!linkIdentified)
        return length;
    scan.alive = true;

    if (data[0] == 0x00) {
        if (length == 1)
            return 0;
        if (data[1] == 0xFA)
            length = removeFront(data, length, 1);
    }
    if (length >= 2 && data[0] == 0xFA) {
        if (data[1] == 0x01 && isInBand(data, length)) {
            length = removeFront(data, length, 3);
        } else if (data[1] == 0x07 && length >= kIdentFrameSize) {
            if (!entryId || std::memcmp(data + 6, entryId, 6) != 0)
                scan.idMismatch = true;
            length = removeFront(data, length, kIdentFrameSize);
        }
    }
    return compact(data, length, 3, isInBand);
}

int stripMarkerBytes(uint8_t *data, int length, uint8_t mode)
{
    if (!data || length <= 0)
        return length < 0 ? 0 : length;
    if (mode != 3 && mode != 4)
        return length;
    return compact(data, length, kMarkerSize, isMarker);
}
