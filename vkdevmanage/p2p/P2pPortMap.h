#pragma once

#include "AsyncSocket.h"

#include <cstdint>
#include <string>

class P2pEngine;
struct P2pPortMap;

// The UDP socket of a mapping's local port: configuration datagrams of
// local programs come in here and the device's answers go back from it.
class P2pPortSocket : public AsyncSocket
{
public:
    P2pPortSocket(P2pEngine *engine, P2pPortMap *map) : m_engine(engine), m_map(map) {}
    uint16_t lastSourcePort = 0;

protected:
    void onReceive(int error) override;

private:
    P2pEngine *m_engine;
    P2pPortMap *m_map;
};

// One port mapping: a local port tied to a remote device ID.
struct P2pPortMap
{
    P2pPortMap(P2pEngine *engine) : socket(engine, this) {}
    uint32_t localPort = 0;
    std::string idText;
    std::string unusedText;
    int kind = 1;
    char targetAddr[16] = {};
    uint32_t targetPort = 0;
    P2pPortSocket socket;
};
