#pragma once

#include <cstdint>

// Byte-level handling of what a device sends on its data link. Both
// functions work in place on data[0..length) and return the new length; they
// never read or write outside that range.

constexpr int kIdentFrameSize = 14;
constexpr int kMarkerSize = 4;

struct LinkScan
{
    bool identified = false;   // an identification frame was found and removed
    uint8_t id[6] = {};        // ... carrying this ID
    bool idMismatch = false;   // an ID check named another ID than the entry's
    bool alive = false;        // data of an identified link was seen
};

// Where the bytes came from. The identification frame is a device's word on
// its own TCP link; in a datagram, which any host can send, it is plain data.
enum class LinkTransport { Tcp, Udp };

// Identification frame (FA 07 13 02 FA 02, six ID bytes, FA FF) at the start
// of data from a TCP link; on an identified link or channel: a lone 0 byte or
// a 0 before FA, an ID check (FA 07 and twelve bytes) or FA 01 01 at the
// start, then every FA 01 01 of the rest. The rest is scanned as the device
// sent it: a sequence that directly follows a removed one is removed too, one
// that ends the data as well, but bytes that only meet because something
// between them was removed are never taken for a sequence.
int processLinkBytes(uint8_t *data, int length, LinkTransport transport, bool linkIdentified, const uint8_t entryId[6],
                     LinkScan &scan);

// With mode (block byte 48) 3 or 4: removes every complete marker
// FC D6 E9 00 / FC D6 E9 01, scanning the data as received.
int stripMarkerBytes(uint8_t *data, int length, uint8_t mode);
