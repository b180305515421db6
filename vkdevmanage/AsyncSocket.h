#pragma once

#include <cstdint>

class QSocketNotifier;

// A non-blocking BSD socket whose readiness is reported through the Qt event
// loop of the thread that created it (QSocketNotifier). The notification
// handlers run only when that loop runs, never inside a library call.
//
// Read readiness is reported once and then held back until the owner receives
// from the socket again (receive/receiveFrom/accept re-arm it), so a handler
// that only tells the host "data waits" is not called again and again.
// Write readiness is watched only while a connection is being made or after a
// send could not take everything.
//
// A handler may destroy the socket object: the dispatch code touches nothing
// of the object after calling a handler.
class AsyncSocket
{
public:
    AsyncSocket();
    virtual ~AsyncSocket();
    AsyncSocket(const AsyncSocket &) = delete;
    AsyncSocket &operator=(const AsyncSocket &) = delete;

    // Creates a socket (SOCK_DGRAM or SOCK_STREAM) bound to address:port
    // (host order; 0 = any address / system-chosen port). Closes an open one first.
    bool create(int type, uint16_t port = 0, uint32_t address = 0, bool notify = true, bool reuseAddress = false);
    // Takes over an open handle (e.g. an accepted connection) with notifications.
    void attach(int fd, bool stream);
    int handle() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    void close();
    // Drops the connection at once (linger 0), as for a reset.
    void abortiveClose();

    bool listen(int backlog);
    // Starts a non-blocking connect (address in host order); onConnect follows.
    bool connectTo(uint32_t address, uint16_t port);
    // Waits up to ms for a connect in progress to finish; true when connected.
    bool waitConnected(int ms);
    // Returns the accepted handle or -1; peer address in host order.
    int accept(uint32_t *peerAddress = nullptr, uint16_t *peerPort = nullptr);

    // Bytes sent, or -1 (errno kept; a would-block arms the write notification).
    int send(const void *data, int length);
    int sendTo(const void *data, int length, uint32_t address, uint16_t port);
    int receive(void *buffer, int size, int flags = 0);
    // Source address and port in host order.
    int receiveFrom(void *buffer, int size, uint32_t *address, uint16_t *port, int flags = 0);
    // Looks at the sender of the waiting datagram without removing it.
    bool peekSender(uint32_t *address, uint16_t *port);

    bool setBroadcast(bool on);
    bool setNoDelay(bool on);
    bool peerAddress(uint32_t *address, uint16_t *port) const;
    uint16_t localPort() const;

    // Holds back / gives back read notifications (while the socket is used
    // synchronously by a library call).
    void suspendNotifications();
    void resumeReadNotifications();

protected:
    // Asks for one send notification (data waits in the owner's queue).
    void watchSend() { armWrite(); }

    virtual void onReceive(int error) { (void)error; }
    virtual void onSend(int error) { (void)error; }
    virtual void onAccept(int error) { (void)error; }
    virtual void onConnect(int error) { (void)error; }
    virtual void onClose(int error) { (void)error; }

private:
    void makeNotifiers();
    void dropNotifiers();
    void armRead();
    void armWrite();
    void readReady();
    void writeReady();

    int m_fd = -1;
    bool m_stream = false;
    bool m_listening = false;
    bool m_connecting = false;
    bool m_notify = false;
    bool m_suspended = false;
    int m_connectError = -1; // error of a connect seen by waitConnected, -1 = none seen
    QSocketNotifier *m_read = nullptr;
    QSocketNotifier *m_write = nullptr;
};
