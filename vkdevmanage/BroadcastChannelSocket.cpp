#include "BroadcastChannelSocket.h"

#include "DeviceManager.h"

void BroadcastChannelSocket::onReceive(int)
{
    m_manager.notifyTarget(-1);
}
