#include "TunnelListener.h"

#include "P2pChannel.h"
#include "P2pEngine.h"

void TunnelListener::onAccept(int)
{
    m_channel->engine->onTunnelAccept(m_channel);
}
