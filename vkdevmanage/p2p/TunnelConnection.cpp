#include "TunnelConnection.h"

#include "P2pChannel.h"
#include "P2pEngine.h"

#include <cerrno>

namespace {
constexpr int kHoldBytes = 2500;
// Unsent output a connection keeps at most before it is dropped (a peer
// that ignores the held-back acknowledgements cannot make it grow without end).
constexpr int kMaxPending = 1 << 20;
} // namespace

TunnelConnection::~TunnelConnection()
{
    abortiveClose();
}

bool TunnelConnection::sendData(const uint8_t *data, int length)
{
    if (!isOpen() || length < 0)
        return false;
    if (length == 0)
        return true;
    if (m_pending + length > kMaxPending)
        return false;
    int sent = 0;
    if (m_queue.empty() && connected) {
        sent = send(data, length);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            sent = 0;
        }
        if (sent == length)
            return true;
    }
    m_queue.push_back(QByteArray(reinterpret_cast<const char *>(data) + sent, length - sent));
    m_pending += length - sent;
    if (connected)
        watchSend();
    return true;
}

void TunnelConnection::onSend(int)
{
    const bool wasHeld = m_pending > kHoldBytes;
    while (!m_queue.empty()) {
        QByteArray &c = m_queue.front();
        const int left = c.size() - m_offset;
        const int n = send(c.constData() + m_offset, left);
        if (n < 0)
            break;
        m_pending -= n;
        if (n == left) {
            m_queue.pop_front();
            m_offset = 0;
        } else {
            m_offset += n;
            watchSend();
            break;
        }
    }
    if (wasHeld && m_pending <= kHoldBytes)
        m_channel->engine->onTunnelDrained(m_channel);
}

void TunnelConnection::onReceive(int)
{
    m_channel->engine->sendTunnelData(m_channel, this);
}

void TunnelConnection::onConnect(int error)
{
    m_channel->engine->onTunnelConnected(m_channel, this, error);
}

void TunnelConnection::onClose(int)
{
    m_channel->engine->onTunnelClosed(m_channel, this);
}
