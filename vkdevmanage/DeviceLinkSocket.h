#pragma once

#include "AsyncSocket.h"

#include <QByteArray>

#include <deque>

class DeviceEntry;
class DeviceManager;

// The TCP link of one device (or, without an owner, the host's listener).
// Sends keep their order: while anything is queued, new data goes behind it.
class DeviceLinkSocket : public AsyncSocket
{
public:
    enum LinkState { Closed = 0, Connecting = 1, Connected = 2 };

    explicit DeviceLinkSocket(DeviceManager &manager, DeviceEntry *owner = nullptr);
    ~DeviceLinkSocket() override;

    int linkState = Closed;
    DeviceEntry *owner() const { return m_owner; }

    // Starts a connection (address in host order); flags bit 0 keeps the send delay.
    bool connectLink(uint32_t address, uint16_t port, bool noDelay);
    // Sends or queues; the whole length when it was taken, -1 on a socket error.
    int sendData(const void *data, int length);
    void closeAbortive();
    int queuedChunks() const { return int(m_queue.size()); }

protected:
    void onReceive(int error) override;
    void onSend(int error) override;
    void onAccept(int error) override;
    void onConnect(int error) override;
    void onClose(int error) override;

private:
    struct Chunk
    {
        QByteArray data;
        int offset = 0;
    };
    DeviceManager &m_manager;
    DeviceEntry *m_owner;
    std::deque<Chunk> m_queue;
};
