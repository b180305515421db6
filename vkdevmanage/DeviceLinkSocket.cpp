#include "DeviceLinkSocket.h"

#include "DeviceEntry.h"
#include "DeviceManager.h"

#include <cerrno>
#include <sys/socket.h>

DeviceLinkSocket::DeviceLinkSocket(DeviceManager &manager, DeviceEntry *owner)
    : m_manager(manager), m_owner(owner)
{
}

DeviceLinkSocket::~DeviceLinkSocket()
{
    closeAbortive();
}

bool DeviceLinkSocket::connectLink(uint32_t address, uint16_t port, bool noDelay)
{
    closeAbortive();
    linkState = Connecting;
    if (!create(SOCK_STREAM)) {
        linkState = Closed;
        return false;
    }
    if (noDelay)
        setNoDelay(true);
    if (!connectTo(address, port)) {
        closeAbortive();
        return false;
    }
    return true;
}

void DeviceLinkSocket::closeAbortive()
{
    linkState = Closed;
    abortiveClose();
    m_queue.clear();
}

int DeviceLinkSocket::sendData(const void *data, int length)
{
    if (!isOpen() || length < 0 || (!data && length > 0))
        return -1;
    if (length == 0)
        return 0;
    if (!m_queue.empty()) {
        m_queue.push_back(Chunk {QByteArray(static_cast<const char *>(data), length), 0});
        return length;
    }
    int sent = send(data, length);
    if (sent < 0) {
        // Only a socket that cannot take the data now queues it; a broken
        // link reports its error instead of swallowing the data.
        const bool later = errno == EAGAIN || errno == EWOULDBLOCK
            || (errno == ENOTCONN && linkState == Connecting);
        if (!later)
            return -1;
        sent = 0;
    }
    if (sent == length)
        return length;
    QByteArray rest(static_cast<const char *>(data) + sent, length - sent);
    if (rest.size() != length - sent)
        return sent;
    m_queue.push_back(Chunk {rest, 0});
    watchSend(); // a partial send does not arm the notification by itself
    return length;
}

void DeviceLinkSocket::onSend(int)
{
    while (!m_queue.empty()) {
        Chunk &c = m_queue.front();
        const int left = c.data.size() - c.offset;
        const int n = send(c.data.constData() + c.offset, left);
        if (n < 0)
            return; // would block: the next send notification goes on
        if (n == left)
            m_queue.pop_front();
        else
            c.offset += n;
    }
}

void DeviceLinkSocket::onReceive(int)
{
    if (m_owner)
        m_manager.notifyTarget(int32_t(m_owner->config.serial()));
}

void DeviceLinkSocket::onAccept(int)
{
    uint32_t peer = 0;
    uint16_t peerPort = 0;
    const int fd = accept(&peer, &peerPort);
    if (fd >= 0)
        m_manager.acceptLink(fd);
}

void DeviceLinkSocket::onConnect(int error)
{
    if (error != 0) {
        linkState = Closed;
        return;
    }
    if (m_owner)
        m_owner->config.b[Blk::LinkFlags] |= 1;
    linkState = Connected;
}

void DeviceLinkSocket::onClose(int)
{
    if (m_owner && m_owner->origin == DeviceEntry::OriginAccepted) {
        m_manager.dropEntry(m_owner); // destroys this socket
        return;
    }
    closeAbortive();
}
