#pragma once

#include "AsyncSocket.h"

#include <QByteArray>

#include <cstdint>
#include <deque>

class P2pChannel;

// One TCP connection carried through a channel: a local program's
// connection on the client side, the connection to the target on the device
// side. Output waits in a queue while the socket cannot take it.
class TunnelConnection : public AsyncSocket
{
public:
    TunnelConnection(P2pChannel *channel, uint8_t id) : m_channel(channel), m_id(id) {}
    ~TunnelConnection() override;

    uint8_t id() const { return m_id; }
    P2pChannel *channel() const { return m_channel; }
    bool connected = false;
    // Sends or queues; false on a socket error.
    bool sendData(const uint8_t *data, int length);
    int pendingBytes() const { return m_pending; }

protected:
    void onReceive(int error) override;
    void onSend(int error) override;
    void onConnect(int error) override;
    void onClose(int error) override;

private:
    P2pChannel *m_channel;
    uint8_t m_id;
    std::deque<QByteArray> m_queue;
    int m_offset = 0;
    int m_pending = 0;
};
