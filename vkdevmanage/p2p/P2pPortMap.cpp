#include "P2pPortMap.h"

#include "P2pEngine.h"

void P2pPortSocket::onReceive(int)
{
    m_engine->onPortSocketReadable(m_map);
}
