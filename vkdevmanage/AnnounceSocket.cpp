#include "AnnounceSocket.h"

#include "DeviceManager.h"

void AnnounceSocket::onReceive(int)
{
    m_manager.acceptReply(*this, DeviceManager::KindAnnounced);
}
