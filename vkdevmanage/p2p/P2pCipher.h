#pragma once

#include <cstdint>

// AES-128 on single 16-byte blocks (challenge and response of the P2P login).
// No mode of operation: one block in place at a time.
class P2pCipher
{
public:
    // The effective key of a stored key is stored byte i XOR i. The first
    // preparation forms it; later ones expand the same effective key again.
    void prepareStoredKey(const uint8_t stored[16]);
    void expandKey(const uint8_t key[16]);
    void encryptBlock(uint8_t block[16]);
    void decryptBlock(uint8_t block[16]);
    bool isPrepared() const { return m_prepared != 0; }
    const uint8_t *expandedKey() const { return m_roundKeys; }

    // Every byte after the first zero byte becomes zero.
    static void padPassword(uint8_t password[16]);

private:
    void addRoundKey(int round);

    uint8_t m_prepared = 0;
    uint8_t m_effective[16] = {};
    uint8_t m_roundKeys[176] = {};
    uint8_t m_state[16] = {};
    uint8_t m_work[16] = {};
};

// The two keys stored in the library: the device key and the client key.
extern const uint8_t kP2pStoredKeys[32];
