#include "P2pCipher.h"

#include <cstring>

const uint8_t kP2pStoredKeys[32] = {
    0xe4, 0x1b, 0x77, 0x0c, 0x9a, 0x52, 0xd8, 0x3f, 0x61, 0xa0, 0x2e, 0xc5, 0x94, 0x0b, 0x7d, 0x38,
    0x0f, 0x6a, 0xd2, 0x91, 0x5c, 0x3b, 0xe8, 0x44, 0x71, 0x90, 0xfa, 0x26, 0xc3, 0xd5, 0x1b, 0x8e};

namespace {

const uint8_t kSbox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16};

struct Tables
{
    uint8_t inv[256];
    uint8_t mul2[256];
    Tables()
    {
        for (int i = 0; i < 256; ++i) {
            inv[kSbox[i]] = uint8_t(i);
            mul2[i] = uint8_t((i << 1) ^ ((i & 0x80) ? 0x1b : 0));
        }
    }
};
const Tables kT;

inline uint8_t m2(uint8_t x) { return kT.mul2[x]; }
inline uint8_t m4(uint8_t x) { return m2(m2(x)); }
inline uint8_t m8(uint8_t x) { return m2(m4(x)); }

} // namespace

void P2pCipher::prepareStoredKey(const uint8_t stored[16])
{
    if (!m_prepared) {
        for (int i = 0; i < 16; ++i)
            m_effective[i] = uint8_t(stored[i] ^ i);
        m_prepared = 1;
    }
    expandKey(m_effective);
}

void P2pCipher::expandKey(const uint8_t key[16])
{
    std::memcpy(m_roundKeys, key, 16);
    uint8_t rcon = 1;
    for (int i = 4; i < 44; ++i) {
        uint8_t t[4];
        std::memcpy(t, m_roundKeys + (i - 1) * 4, 4);
        if (i % 4 == 0) {
            const uint8_t first = t[0];
            t[0] = uint8_t(kSbox[t[1]] ^ rcon);
            t[1] = kSbox[t[2]];
            t[2] = kSbox[t[3]];
            t[3] = kSbox[first];
            rcon = m2(rcon);
        }
        for (int j = 0; j < 4; ++j)
            m_roundKeys[i * 4 + j] = uint8_t(m_roundKeys[(i - 4) * 4 + j] ^ t[j]);
    }
}

void P2pCipher::addRoundKey(int round)
{
    for (int i = 0; i < 16; ++i)
        m_state[i] ^= m_roundKeys[round * 16 + i];
}

void P2pCipher::encryptBlock(uint8_t block[16])
{
    std::memcpy(m_state, block, 16);
    addRoundKey(0);
    for (int round = 1; round <= 10; ++round) {
        // SubBytes and ShiftRows (state is column-major: byte r + 4c).
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                m_work[r + 4 * c] = kSbox[m_state[r + 4 * ((c + r) & 3)]];
        if (round < 10) {
            for (int c = 0; c < 4; ++c) {
                const uint8_t *a = m_work + 4 * c;
                uint8_t *o = m_state + 4 * c;
                o[0] = uint8_t(m2(a[0]) ^ (m2(a[1]) ^ a[1]) ^ a[2] ^ a[3]);
                o[1] = uint8_t(a[0] ^ m2(a[1]) ^ (m2(a[2]) ^ a[2]) ^ a[3]);
                o[2] = uint8_t(a[0] ^ a[1] ^ m2(a[2]) ^ (m2(a[3]) ^ a[3]));
                o[3] = uint8_t((m2(a[0]) ^ a[0]) ^ a[1] ^ a[2] ^ m2(a[3]));
            }
        } else {
            std::memcpy(m_state, m_work, 16);
        }
        addRoundKey(round);
    }
    std::memcpy(block, m_state, 16);
}

void P2pCipher::decryptBlock(uint8_t block[16])
{
    std::memcpy(m_state, block, 16);
    addRoundKey(10);
    for (int round = 9; round >= 0; --round) {
        // InvShiftRows and InvSubBytes.
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                m_work[r + 4 * ((c + r) & 3)] = kT.inv[m_state[r + 4 * c]];
        std::memcpy(m_state, m_work, 16);
        addRoundKey(round);
        if (round > 0) {
            for (int c = 0; c < 4; ++c) {
                uint8_t a[4];
                std::memcpy(a, m_state + 4 * c, 4);
                uint8_t *o = m_state + 4 * c;
                // 0e, 0b, 0d, 09
                auto e = [](uint8_t x) { return uint8_t(m8(x) ^ m4(x) ^ m2(x)); };
                auto b = [](uint8_t x) { return uint8_t(m8(x) ^ m2(x) ^ x); };
                auto d = [](uint8_t x) { return uint8_t(m8(x) ^ m4(x) ^ x); };
                auto n = [](uint8_t x) { return uint8_t(m8(x) ^ x); };
                o[0] = uint8_t(e(a[0]) ^ b(a[1]) ^ d(a[2]) ^ n(a[3]));
                o[1] = uint8_t(n(a[0]) ^ e(a[1]) ^ b(a[2]) ^ d(a[3]));
                o[2] = uint8_t(d(a[0]) ^ n(a[1]) ^ e(a[2]) ^ b(a[3]));
                o[3] = uint8_t(b(a[0]) ^ d(a[1]) ^ n(a[2]) ^ e(a[3]));
            }
        }
    }
    std::memcpy(block, m_state, 16);
}

void P2pCipher::padPassword(uint8_t password[16])
{
    bool zero = false;
    for (int i = 0; i < 16; ++i) {
        if (zero)
            password[i] = 0;
        else if (password[i] == 0)
            zero = true;
    }
}
