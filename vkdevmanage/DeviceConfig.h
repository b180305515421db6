#pragma once

#include <cstdint>

// The 167-byte configuration block of a device server, exactly as it travels
// on the wire (multi-byte numbers in network byte order), and the 170-byte
// datagram that carries it.
namespace Blk {
enum : int {
    Ip = 0, Mask = 4, Gateway = 8, DestIp = 12, Port = 16, DestPort = 18, WorkMode = 20,
    Password = 21, Id = 31, Setting37 = 37, Name = 38, Setting48 = 48, Setting49 = 49,
    Setting50 = 50, IpMode = 56, Setting57 = 57, Setting58 = 58, Setting59 = 59,
    LinkIdent = 60, LinkFlags = 61, Dns = 62, DestText = 66, Setting96 = 96, IdleTime = 97,
    Setting98 = 98, Firmware = 103, Address105 = 105, Io = 109, AgeFlags = 110,
    AgeLimit = 111, IoFlags = 112, Flag114 = 114
};
constexpr int PasswordSize = 10;
constexpr int IdSize = 6;
constexpr int NameSize = 10;
constexpr int DestTextSize = 30;
} // namespace Blk

enum DatagramCommand : uint8_t {
    CmdSearch = 0,
    CmdReply = 1,
    CmdWriteConfig = 2,
    CmdSetIo = 5,
    CmdGetIo = 6
};

constexpr int kBlockSize = 167;
constexpr int kDatagramSize = 170;
constexpr int kMinAcceptedDatagram = 41;
constexpr int kMaxDatagramRead = 256;
constexpr uint16_t kConfigPort = 1092;
constexpr uint16_t kArpPort = 25897;

struct DeviceConfig
{
    uint8_t b[kBlockSize];

    DeviceConfig() { clear(); }
    void clear();
    // The library's default block.
    void setDefaults();
    // Work mode at most 3, byte 37 at most 13, byte 48 at most 4.
    void clamp();

    uint16_t be16(int off) const { return uint16_t((b[off] << 8) | b[off + 1]); }
    void setBe16(int off, uint16_t v)
    {
        b[off] = uint8_t(v >> 8);
        b[off + 1] = uint8_t(v);
    }
    // Address fields read as a number in host order (a.b.c.d -> 0xaabbccdd).
    uint32_t be32(int off) const
    {
        return (uint32_t(b[off]) << 24) | (uint32_t(b[off + 1]) << 16) | (uint32_t(b[off + 2]) << 8) | b[off + 3];
    }
    void setBe32(int off, uint32_t v)
    {
        b[off] = uint8_t(v >> 24);
        b[off + 1] = uint8_t(v >> 16);
        b[off + 2] = uint8_t(v >> 8);
        b[off + 3] = uint8_t(v);
    }
    const uint8_t *id() const { return b + Blk::Id; }
    uint8_t *id() { return b + Blk::Id; }
    // The device number: ID bytes 2 to 5, big-endian.
    uint32_t serial() const { return be32(Blk::Id + 2); }
    void setText(int off, int size, const char *text, int maxChars);
};

// Magic, command, then the block (or 167 zero bytes when block is null): 170 bytes.
void buildDatagram(uint8_t command, const DeviceConfig *block, uint8_t out[kDatagramSize]);

// The acceptance rule for a received datagram: at least 41 bytes, magic "VK",
// command 1. The block is taken from byte 3 (zero-filled when short, cut at 167
// bytes) and clamped.
bool acceptDatagram(const uint8_t *data, int length, DeviceConfig &out);

// Dotted decimal of an address number in host order.
void formatDotted(uint32_t address, char *out, int size);
