#pragma once

// Datagram layout of the P2P relay protocol: header, codes, and bounded
// readers and writers for the little-endian numbers and the text fields.
#include <cstdint>
#include <cstring>

namespace P2p {

constexpr uint8_t kMagic0 = 0x12;
constexpr uint8_t kMagic1 = 0x20;
constexpr uint16_t kServerPort = 8000;
constexpr int kBufferSize = 1600;
constexpr int kMaxFragmentData = 1300;
constexpr int kFragmentHeader = 20;
constexpr int kMaxTunnelRead = 1580;
constexpr int kMaxConfigRead = 256;
constexpr int kAckHoldBytes = 2500;
constexpr int kFlowWindow = 3000;
constexpr int kIdSize = 32;
constexpr int kDeviceIdMax = 12;

enum Code : uint8_t {
    Tunnelled = 90,      // sub 1 configuration datagram, 2 challenge, 3 response
    RelayRegister = 185, // sub 11
    RelayRegistered = 186,
    Punch = 208,
    PunchAnswer = 209,
    Confirm = 210,
    Data = 213,
    Ack = 214,
    AddressQuery = 232,
    AddressAnswer = 233,
    KeepAlive = 234,
    KeepAliveAnswer = 235,
    ConnectRequest = 236,
    ConnectResult = 237,
    AskClientId = 238,
    ClientId = 239,
    DeviceLogin = 246,
    DeviceLoginAnswer = 247,
};

enum Sub : uint8_t { SubConfig = 1, SubChallenge = 2, SubResponse = 3, SubServer = 3, SubChannel = 7, SubRelay = 11 };

// Sizes of the messages.
enum Length : int {
    LenAskClientId = 4,
    LenClientId = 104,
    LenDeviceLogin = 49,
    LenDeviceLoginAnswer = 36,
    LenKeepAliveAnswer = 20,
    LenChallengeToServer = 52,
    LenServerBlock = 20,
    LenResponseDevice = 52,
    LenResponseClient = 68,
    LenAddressQuery = 4,
    LenAddressAnswer = 32,
    LenConnect = 356,
    LenConnectResult = 20,
    LenPunch = 112,
    LenConfirm = 24,
    LenRelayRegister = 212,
    LenRelayRegistered = 8,
    LenControl = 44,
    LenEnd = 20,
    LenAck = 10,
    LenConfig = 174,
};

// Offsets in the connect request 236.
enum ConnectOffset : int {
    CrWord = 4, CrOwnId = 8, CrTargetId = 108, CrPublicAddr = 208, CrPublicPort = 224, CrLocalPort = 226,
    CrLanAddr = 228, CrAnsweredWord = 328, CrServerAddr = 332, CrRelayPort = 348, CrTime = 352
};

inline void header(uint8_t *b, uint8_t code, uint8_t sub)
{
    b[0] = kMagic0;
    b[1] = kMagic1;
    b[2] = code;
    b[3] = sub;
}

inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
inline void setLe16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void setLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Copies the text of a field of fieldSize bytes at off into out (outSize
// bytes, always terminated), never reading past the datagram's end or the
// field's end, and never trusting a terminator to be there.
inline void readText(const uint8_t *data, int length, int off, int fieldSize, char *out, int outSize)
{
    int n = 0;
    if (outSize <= 0)
        return;
    while (n < fieldSize && n < outSize - 1 && off + n < length && data[off + n] != 0) {
        out[n] = char(data[off + n]);
        ++n;
    }
    out[n] = 0;
}

// Writes text into a zeroed field of fieldSize bytes, leaving a terminator
// when the text is shorter than the field.
inline void writeText(uint8_t *b, int off, int fieldSize, const char *text)
{
    if (!text)
        return;
    const size_t n = strnlen(text, size_t(fieldSize));
    std::memcpy(b + off, text, n);
}

// A connect word asks for the relay when its low half is 1000 or more or its high half is 0.
inline bool wordAsksRelay(uint32_t word) { return (word & 0xFFFF) >= 1000 || (word >> 16) == 0; }

// Sequence numbers compared as a signed 16-bit difference.
inline int16_t seqDiff(uint16_t a, uint16_t b) { return int16_t(uint16_t(a - b)); }

} // namespace P2p
