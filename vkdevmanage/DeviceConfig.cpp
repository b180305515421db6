#include "DeviceConfig.h"

#include <cstdio>
#include <cstring>

void DeviceConfig::clear()
{
    std::memset(b, 0, sizeof b);
}

void DeviceConfig::setText(int off, int size, const char *text, int maxChars)
{
    std::memset(b + off, 0, size_t(size));
    if (!text)
        return;
    const int n = int(strnlen(text, size_t(maxChars < size ? maxChars : size)));
    std::memcpy(b + off, text, size_t(n));
}

void DeviceConfig::setDefaults()
{
    clear();
    setBe32(Blk::Ip, 0xC0A801C8);      // 192.168.1.200
    setBe32(Blk::Mask, 0xFFFFFF00);    // 255.255.255.0
    setBe32(Blk::Gateway, 0xC0A80101); // 192.168.1.1
    setBe32(Blk::DestIp, 0xC0A80103);  // 192.168.1.3
    setBe16(Blk::Port, 4196);
    setBe16(Blk::DestPort, 4196);
    b[Blk::WorkMode] = 0;
    setText(Blk::Password, Blk::PasswordSize, "730915", Blk::PasswordSize);
    b[Blk::Setting37] = 11;
    setText(Blk::Name, Blk::NameSize, "VKDEV0001", Blk::NameSize);
    b[Blk::Setting48] = 0;
    b[Blk::Setting49] = 3;
    setBe16(Blk::Setting50, 1300);
    b[Blk::IpMode] = 0;
    b[Blk::Setting57] = 0;
    b[Blk::Setting58] = 1;
    b[Blk::Setting59] = 0;
    setBe32(Blk::Dns, 0x08080404); // 8.8.4.4
    setText(Blk::DestText, Blk::DestTextSize, "192.168.1.3", Blk::DestTextSize);
    b[Blk::Setting96] = 12;
    b[Blk::IdleTime] = 60;
    setBe16(Blk::Setting98, 80);
    setBe32(Blk::Address105, 0xE6564B01); // 230.86.75.1
    b[Blk::AgeLimit] = 5;
}

void DeviceConfig::clamp()
{
    if (b[Blk::WorkMode] > 3)
        b[Blk::WorkMode] = 3;
    if (b[Blk::Setting37] > 13)
        b[Blk::Setting37] = 13;
    if (b[Blk::Setting48] > 4)
        b[Blk::Setting48] = 4;
}

void buildDatagram(uint8_t command, const DeviceConfig *block, uint8_t out[kDatagramSize])
{
    out[0] = 'V';
    out[1] = 'K';
    out[2] = command;
    if (block)
        std::memcpy(out + 3, block->b, kBlockSize);
    else
        std::memset(out + 3, 0, kBlockSize);
}

bool acceptDatagram(const uint8_t *data, int length, DeviceConfig &out)
{
    if (!data || length < kMinAcceptedDatagram)
        return false;
    if (data[0] != 'V' || data[1] != 'K' || data[2] != CmdReply)
        return false;
    out.clear();
    const int n = length >= kDatagramSize ? kBlockSize : length - 3;
    std::memcpy(out.b, data + 3, size_t(n));
    out.clamp();
    return true;
}

void formatDotted(uint32_t a, char *out, int size)
{
    std::snprintf(out, size_t(size), "%u.%u.%u.%u", (a >> 24) & 0xFF, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
}
