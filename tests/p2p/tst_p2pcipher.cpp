// The login cipher: AES-128 on single blocks, the stored keys and the password key.
#include "P2pCipher.h"

#include <QtTest>

#include <cstring>
#include <random>

#ifdef P2P_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

QByteArray bytes(const uint8_t *p, int n) { return QByteArray(reinterpret_cast<const char *>(p), n); }

} // namespace

class TstP2pCipher : public QObject
{
    Q_OBJECT
private slots:
    void fipsKeyExpansion();
    void fipsBlocks_data();
    void fipsBlocks();
    void inverseOnRandomBlocks();
    void againstOpenSsl();
    void storedKeyPreparedOnce();
    void storedKeysEffective();
    void padding_data();
    void padding();
};

void TstP2pCipher::fipsKeyExpansion()
{
    // The key expansion example: key 2b7e1516..., round keys 0, 1 and 10.
    P2pCipher c;
    const QByteArray key = hex("2b7e151628aed2a6abf7158809cf4f3c");
    c.expandKey(reinterpret_cast<const uint8_t *>(key.constData()));
    QCOMPARE(bytes(c.expandedKey(), 16), key);
    QCOMPARE(bytes(c.expandedKey() + 16, 16), hex("a0fafe1788542cb123a339392a6c7605"));
    QCOMPARE(bytes(c.expandedKey() + 160, 16), hex("d014f9a8c9ee2589e13f0cc8b6630ca6"));
}

void TstP2pCipher::fipsBlocks_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("cipher example") << hex("2b7e151628aed2a6abf7158809cf4f3c")
                                    << hex("3243f6a8885a308d313198a2e0370734")
                                    << hex("3925841d02dc09fbdc118597196a0b32");
    QTest::newRow("AES-128 example vector") << hex("000102030405060708090a0b0c0d0e0f")
                                            << hex("00112233445566778899aabbccddeeff")
                                            << hex("69c4e0d86a7b0430d8cdb78070b4c55a");
}

void TstP2pCipher::fipsBlocks()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    P2pCipher c;
    c.expandKey(reinterpret_cast<const uint8_t *>(key.constData()));
    uint8_t block[16];
    std::memcpy(block, plain.constData(), 16);
    c.encryptBlock(block);
    QCOMPARE(bytes(block, 16), cipher);
    c.decryptBlock(block);
    QCOMPARE(bytes(block, 16), plain);
}

void TstP2pCipher::inverseOnRandomBlocks()
{
    std::mt19937 rng(12345);
    P2pCipher c;
    for (int k = 0; k < 200; ++k) {
        uint8_t key[16];
        for (uint8_t &b : key)
            b = uint8_t(rng());
        c.expandKey(key);
        for (int i = 0; i < 20; ++i) {
            uint8_t block[16];
            for (uint8_t &b : block)
                b = uint8_t(rng());
            uint8_t copy[16];
            std::memcpy(copy, block, 16);
            c.encryptBlock(block);
            QVERIFY(std::memcmp(block, copy, 16) != 0);
            c.decryptBlock(block);
            QVERIFY(std::memcmp(block, copy, 16) == 0);
            // The other way round as well: the client answers with a decryption.
            c.decryptBlock(block);
            c.encryptBlock(block);
            QVERIFY(std::memcmp(block, copy, 16) == 0);
        }
    }
}

void TstP2pCipher::againstOpenSsl()
{
#ifndef P2P_HAVE_OPENSSL
    QSKIP("OpenSSL not found at configure time");
#else
    std::mt19937 rng(777);
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QVERIFY(ctx);
    P2pCipher c;
    for (int k = 0; k < 3000; ++k) {
        uint8_t key[16];
        uint8_t block[16];
        for (uint8_t &b : key)
            b = uint8_t(rng());
        for (uint8_t &b : block)
            b = uint8_t(rng());
        uint8_t reference[32];
        int len = 0;
        QVERIFY(EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr) == 1);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        QVERIFY(EVP_EncryptUpdate(ctx, reference, &len, block, 16) == 1);
        QCOMPARE(len, 16);
        c.expandKey(key);
        uint8_t mine[16];
        std::memcpy(mine, block, 16);
        c.encryptBlock(mine);
        if (std::memcmp(mine, reference, 16) != 0)
            QFAIL(qPrintable(QStringLiteral("encrypt differs for key %1").arg(QString(bytes(key, 16).toHex()))));
        c.decryptBlock(mine);
        QVERIFY(std::memcmp(mine, block, 16) == 0);
    }
    EVP_CIPHER_CTX_free(ctx);
#endif
}

void TstP2pCipher::storedKeyPreparedOnce()
{
    P2pCipher once;
    once.prepareStoredKey(kP2pStoredKeys);
    P2pCipher twice;
    twice.prepareStoredKey(kP2pStoredKeys);
    twice.prepareStoredKey(kP2pStoredKeys);
    QVERIFY(twice.isPrepared());
    QCOMPARE(bytes(twice.expandedKey(), 176), bytes(once.expandedKey(), 176));
}

void TstP2pCipher::storedKeysEffective()
{
    // The effective key is stored byte i XOR i; the expansion itself has no XOR step.
    for (int k = 0; k < 2; ++k) {
        uint8_t effective[16];
        for (int i = 0; i < 16; ++i)
            effective[i] = uint8_t(kP2pStoredKeys[k * 16 + i] ^ i);
        P2pCipher direct;
        direct.expandKey(effective);
        P2pCipher stored;
        stored.prepareStoredKey(kP2pStoredKeys + k * 16);
        QCOMPARE(bytes(stored.expandedKey(), 176), bytes(direct.expandedKey(), 176));
    }
    QCOMPARE(bytes(kP2pStoredKeys, 16), hex("e41b770c9a52d83f61a02ec5940b7d38"));
    QCOMPARE(bytes(kP2pStoredKeys + 16, 16), hex("0f6ad2915c3be8447190fa26c3d51b8e"));
}

void TstP2pCipher::padding_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("short password") << QByteArray("secret\0garbage!!", 16) << QByteArray("secret", 6).leftJustified(16, '\0');
    QTest::newRow("16 characters, no terminator") << QByteArray("0123456789abcdef") << QByteArray("0123456789abcdef");
    QTest::newRow("empty") << QByteArray("\0xxxxxxxxxxxxxxx", 16) << QByteArray(16, '\0');
    QTest::newRow("15 characters") << QByteArray("0123456789abcde\0", 16) << QByteArray("0123456789abcde\0", 16);
}

void TstP2pCipher::padding()
{
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    uint8_t b[16];
    std::memcpy(b, in.constData(), 16);
    P2pCipher::padPassword(b);
    QCOMPARE(bytes(b, 16), out);
}

QTEST_APPLESS_MAIN(TstP2pCipher)
#include "tst_p2pcipher.moc"
