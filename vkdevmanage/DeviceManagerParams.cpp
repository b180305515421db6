// Parameter access by id: reads from and writes to the library's copy of a
// device's configuration block.
#include "DeviceManager.h"
#include "P2pEngine.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Status of a port without a P2P mapping while the P2P client is not open.
constexpr int kP2pClosedCode = 8;
const char kP2pClosedChinese[] = "未打开";
const char kP2pClosedEnglish[] = "haven't open";

struct Writer
{
    char *out;
    int size;
    void text(const char *s, int maxChars)
    {
        const int n = int(strnlen(s, size_t(maxChars)));
        const int m = n < size ? n : size;
        std::memcpy(out, s, size_t(m));
        if (m < size)
            out[m] = 0;
    }
    void dotted(uint32_t address)
    {
        char buf[20];
        formatDotted(address, buf, sizeof buf);
        text(buf, sizeof buf);
    }
    void number(uint32_t v)
    {
        const uint8_t le[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        std::memcpy(out, le, size_t(size < 4 ? size : 4));
    }
};

} // namespace

void DeviceManager::parseIdText(const char *text, uint8_t key[8])
{
    std::memset(key, 0, 8);
    if (!text)
        return;
    char buf[14] = {};
    std::strncpy(buf, text, 13);
    for (char &c : buf)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    int k = 0;
    for (int i = 0; buf[i] && k < 8;) {
        const int hi = hexValue(buf[i]);
        if (hi < 0) {
            ++i;
            continue;
        }
        const int lo = hexValue(buf[i + 1]);
        if (lo >= 0) {
            key[k++] = uint8_t(hi << 4 | lo);
            i += 2;
        } else {
            key[k++] = uint8_t(hi);
            i += 1;
        }
    }
}

DeviceEntry *DeviceManager::findByText(const char *idText) const
{
    if (!idText)
        return nullptr;
    uint8_t key[8];
    parseIdText(idText, key);
    return findById(key);
}

int DeviceManager::getParam(DeviceEntry &e, int id, char *out, int size)
{
    const DeviceConfig &c = e.config;
    Writer w {out, size};
    switch (id) {
    case 1: {
        if (!(e.origin & DeviceEntry::OriginSearch)) {
            w.number(0);
            break;
        }
        char local[32];
        localAddressByIndex(e.localIndex, local, sizeof local);
        in_addr a {};
        const uint32_t l = local[0] && inet_aton(local, &a) ? ntohl(a.s_addr) : 0;
        const uint32_t mask = c.be32(Blk::Mask);
        w.number(((c.be32(Blk::Ip) ^ l) & mask) == 0 ? 1 : 2);
        break;
    }
    case 2: w.dotted(c.be32(Blk::Ip)); break;
    case 3: w.number(c.be16(Blk::Port)); break;
    case 256: w.number(c.b[Blk::WorkMode]); break;
    case 257: w.number(c.b[Blk::IpMode]); break;
    case 258: w.number(c.b[Blk::Setting57]); break;
    case 259: w.number(c.b[Blk::Setting58]); break;
    case 260: w.number(c.b[Blk::LinkIdent]); break;
    case 261: w.number(c.b[Blk::Flag114] & 1); break;
    case 262: w.number(c.b[Blk::Setting48]); break;
    case 263: w.number(c.b[Blk::Setting59]); break;
    case 264: w.number(c.b[Blk::Setting37]); break;
    case 265: w.dotted(c.be32(Blk::Dns)); break;
    case 266: w.dotted(c.be32(Blk::Address105)); break;
    case 268: w.dotted(c.be32(Blk::Mask)); break;
    case 269: w.dotted(c.be32(Blk::Gateway)); break;
    case 270: w.number(c.b[Blk::Setting96]); break;
    case 271: w.number(c.b[Blk::IdleTime]); break;
    case 272: w.number(c.be16(Blk::Setting98)); break;
    case 273: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "V1.%d", c.b[Blk::Firmware] + 383);
        w.text(buf, sizeof buf);
        break;
    }
    case 275: w.number(c.be16(Blk::DestPort)); break;
    case 276: w.text(reinterpret_cast<const char *>(c.b + Blk::Name), Blk::NameSize); break;
    case 277: w.text(reinterpret_cast<const char *>(c.b + Blk::DestText), Blk::DestTextSize); break;
    case 278: w.number(c.b[Blk::Setting49]); break;
    case 279: w.number(c.be16(Blk::Setting50)); break;
    case 280: w.number(c.b[Blk::LinkFlags]); break;
    case 281: w.dotted(e.sourceAddress); break;
    case 282: w.number(e.sourcePort); break;
    default: return -1;
    }
    return 1;
}

namespace {

// The P2P query ids name a mapping by its device ID: cut to 12 characters
// and upper-cased.
void p2pIdText(const char *idText, char out[13])
{
    std::memset(out, 0, 13);
    if (idText)
        std::memcpy(out, idText, strnlen(idText, 12));
    for (int i = 0; i < 12; ++i)
        if (out[i] >= 'a' && out[i] <= 'z')
            out[i] = char(out[i] - 'a' + 'A');
}

} // namespace

int DeviceManager::p2pLocalPort(const char *idText)
{
    if (!m_p2pEnabled || !P2pEngine::library().isOpen())
        return -1;
    char id[13];
    p2pIdText(idText, id);
    return P2pEngine::library().localPortOf(id);
}

int DeviceManager::p2pStatus(const char *idText, char *text, int language)
{
    const int port = p2pLocalPort(idText);
    if (port < 0) {
        if (!m_p2pEnabled) {
            std::strcpy(text, language == 0 ? kP2pClosedChinese : kP2pClosedEnglish);
            return kP2pClosedCode;
        }
        // The status of a port without a mapping.
        return P2pEngine::library().status(0xFFFFFFFFu, text, language);
    }
    if (port == 0)
        return 0;
    return P2pEngine::library().status(uint32_t(port), text, language);
}

const char *DeviceManager::getParamString(const char *idText, int id)
{
    switch (id) {
    case 4: {
        if (!m_p2pEnabled || !P2pEngine::library().isOpen())
            return nullptr;
        char key[13];
        p2pIdText(idText, key);
        std::memset(m_result, 0, sizeof m_result);
        return P2pEngine::library().peerAddressOf(key, m_result, kResultBufferSize - 1) ? m_result : nullptr;
    }
    case 5: {
        if (!m_p2pEnabled || !P2pEngine::library().isOpen())
            return nullptr;
        break; // the list of all device IDs, as below
    }
    case 8:
    case 9: {
        std::memset(m_result, 0, sizeof m_result);
        const int port = p2pLocalPort(idText);
        if (port == 0)
            return nullptr;
        p2pStatus(idText, m_result, id == 8 ? 0 : 1);
        return m_result;
    }
    default:
        break;
    }
    std::memset(m_result, 0, sizeof m_result);
    if (id == 5) {
        // Every ID as 12 hex digits and a comma, the last one with a full
        // stop, as many whole IDs as fit.
        searchAll();
        if (m_entries.empty())
            return nullptr;
        int used = 0;
        for (DeviceEntry *entry : m_entries) {
            if (used + 13 > kResultBufferSize - 1)
                break;
            char text[32] = {};
            entry->idText(text);
            std::memcpy(m_result + used, text, 12);
            m_result[used + 12] = ',';
            used += 13;
        }
        if (used > 0)
            m_result[used - 1] = '.';
        return m_result;
    }
    DeviceEntry *e = findByText(idText);
    if (!e)
        return nullptr;
    return getParam(*e, id, m_result, kResultBufferSize - 1) > 0 ? m_result : nullptr;
}

int DeviceManager::getParamInt(const char *idText, int id)
{
    if (id == 6)
        return p2pLocalPort(idText);
    if (id == 7) {
        char text[kResultBufferSize] = {};
        return p2pStatus(idText, text, 1);
    }
    if (id == 1)
        searchAll();
    DeviceEntry *e = findByText(idText);
    if (!e)
        return -1;
    char value[4] = {};
    if (getParam(*e, id, value, 4) <= 0)
        return -1;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(value[i]);
    return int(v);
}

int DeviceManager::setParam(DeviceEntry &e, int id, const uint8_t *key, const uint8_t *value, int length)
{
    DeviceConfig &c = e.config;
    uint32_t v = 0;
    for (int i = (length < 4 ? length : 4) - 1; i >= 0; --i)
        v = (v << 8) | value[i];
    char text[64] = {};
    std::memcpy(text, value, size_t(length < 63 ? length : 63));

    auto setAddress = [&](int off) {
        const in_addr_t a = inet_addr(text); // network order, as on the wire
        std::memcpy(c.b + off, &a, 4);
    };
    switch (id) {
    case 0:
        c.setDefaults();
        std::memcpy(c.id(), key, 6);
        break;
    case 2: setAddress(Blk::Ip); break;
    case 265: setAddress(Blk::Dns); break;
    case 266: setAddress(Blk::Address105); break;
    case 268: setAddress(Blk::Mask); break;
    case 269: setAddress(Blk::Gateway); break;
    case 3: c.setBe16(Blk::Port, uint16_t(v)); break;
    case 272: c.setBe16(Blk::Setting98, uint16_t(v)); break;
    case 275: c.setBe16(Blk::DestPort, uint16_t(v)); break;
    case 279: c.setBe16(Blk::Setting50, uint16_t(v)); break;
    case 256: c.b[Blk::WorkMode] = uint8_t(v); break;
    case 257: c.b[Blk::IpMode] = uint8_t(v); break;
    case 258: c.b[Blk::Setting57] = uint8_t(v); break;
    case 259: c.b[Blk::Setting58] = uint8_t(v); break;
    case 260: c.b[Blk::LinkIdent] = uint8_t(v); break;
    case 262: c.b[Blk::Setting48] = uint8_t(v); break;
    case 263: c.b[Blk::Setting59] = uint8_t(v); break;
    case 264: c.b[Blk::Setting37] = uint8_t(v); break;
    case 270: c.b[Blk::Setting96] = uint8_t(v); break;
    case 271: c.b[Blk::IdleTime] = uint8_t(v); break;
    case 278: c.b[Blk::Setting49] = uint8_t(v); break;
    case 261:
        if (v)
            c.b[Blk::Flag114] |= 1;
        else
            c.b[Blk::Flag114] &= uint8_t(~1u);
        break;
    case 276: {
        const int n = int(strnlen(text, 9));
        std::memset(c.b + Blk::Name, 0, 9);
        std::memcpy(c.b + Blk::Name, text, size_t(n));
        break;
    }
    case 277: c.setText(Blk::DestText, Blk::DestTextSize, text, 29); break;
    default: return 0;
    }
    return 1;
}

int DeviceManager::setParamString(const char *idText, const char *value, int id)
{
    DeviceEntry *e = findByText(idText);
    if (!e)
        return 0;
    uint8_t key[8];
    parseIdText(idText, key);
    const char *v = value ? value : "";
    return setParam(*e, id, key, reinterpret_cast<const uint8_t *>(v), int(std::strlen(v))) == 1 ? 1 : 0;
}

int DeviceManager::setParamInt(const char *idText, uint32_t value, int id)
{
    DeviceEntry *e = findByText(idText);
    if (!e)
        return 0;
    uint8_t key[8];
    parseIdText(idText, key);
    const uint8_t le[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    // Text ids read these bytes as a text, which ends at the first zero byte.
    return setParam(*e, id, key, le, 4) == 1 ? 1 : 0;
}

int DeviceManager::executeParams(const char *idText)
{
    DeviceEntry *e = findByText(idText);
    if (!e)
        return 0;
    writeConfiguration(e->config);
    return 1;
}
