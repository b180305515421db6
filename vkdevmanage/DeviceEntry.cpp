#include "DeviceEntry.h"

#include <cstdio>

DeviceEntry::DeviceEntry(DeviceManager &manager, int64_t nowMs)
    : link(manager, this), lastActivity(nowMs), createdTime(nowMs)
{
    config.setDefaults();
    // A new entry keeps password and name empty and no ageing limit until a
    // datagram brings the device's own block.
    config.setText(Blk::Password, Blk::PasswordSize, nullptr, 0);
    config.setText(Blk::Name, Blk::NameSize, nullptr, 0);
    config.b[Blk::AgeLimit] = 0;
}

void DeviceEntry::idText(char out[13]) const
{
    const uint8_t *id = config.id();
    std::snprintf(out, 13, "%02X%02X%02X%02X%02X%02X", id[0], id[1], id[2], id[3], id[4], id[5]);
}
