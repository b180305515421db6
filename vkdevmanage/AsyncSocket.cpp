#include "AsyncSocket.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in makeAddress(uint32_t address, uint16_t port)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

void setNonBlocking(int fd)
{
    const int fl = fcntl(fd, F_GETFL, 0);
    if (fl >= 0)
        fcntl(fd, F_SETFL, fl | O_NONBLOCK);
}

} // namespace

AsyncSocket::AsyncSocket() = default;

AsyncSocket::~AsyncSocket()
{
    close();
}

bool AsyncSocket::create(int type, uint16_t port, uint32_t address, bool notify, bool reuseAddress)
{
    close();
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    setNonBlocking(fd);
    if (reuseAddress) {
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    const sockaddr_in sa = makeAddress(address, port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return false;
    }
    m_fd = fd;
    m_stream = (type == SOCK_STREAM);
    m_notify = notify;
    if (m_notify) {
        makeNotifiers();
        if (!m_stream)
            armRead();
    }
    return true;
}

void AsyncSocket::attach(int fd, bool stream)
{
    close();
    m_fd = fd;
    setNonBlocking(fd);
    m_stream = stream;
    m_notify = true;
    makeNotifiers();
    armRead();
}

void AsyncSocket::close()
{
    dropNotifiers();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_listening = false;
    m_connecting = false;
    m_suspended = false;
    m_connectError = -1;
}

void AsyncSocket::abortiveClose()
{
    if (m_fd >= 0) {
        dropNotifiers();
        linger lg {};
        lg.l_onoff = 1;
        lg.l_linger = 0;
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    }
    close();
}

bool AsyncSocket::listen(int backlog)
{
    if (m_fd < 0 || ::listen(m_fd, backlog) != 0)
        return false;
    m_listening = true;
    armRead();
    return true;
}

bool AsyncSocket::connectTo(uint32_t address, uint16_t port)
{
    if (m_fd < 0)
        return false;
    const sockaddr_in sa = makeAddress(address, port);
    m_connectError = -1;
    const int r = ::connect(m_fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    if (r != 0 && errno != EINPROGRESS)
        return false;
    // Completion (also an immediate one) is reported through the write notification.
    m_connecting = true;
    armWrite();
    return true;
}

bool AsyncSocket::waitConnected(int ms)
{
    if (m_fd < 0 || m_fd >= FD_SETSIZE)
        return false;
    fd_set wr;
    FD_ZERO(&wr);
    FD_SET(m_fd, &wr);
    timeval tv {ms / 1000, (ms % 1000) * 1000};
    if (::select(m_fd + 1, nullptr, &wr, nullptr, &tv) <= 0)
        return false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    // Reading SO_ERROR clears it: keep it for the connect notification.
    m_connectError = err;
    return err == 0;
}

int AsyncSocket::accept(uint32_t *peerAddress, uint16_t *peerPort)
{
    if (m_fd < 0)
        return -1;
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    const int fd = ::accept4(m_fd, reinterpret_cast<sockaddr *>(&sa), &len, SOCK_CLOEXEC);
    armRead();
    if (fd < 0)
        return -1;
    if (peerAddress)
        *peerAddress = ntohl(sa.sin_addr.s_addr);
    if (peerPort)
        *peerPort = ntohs(sa.sin_port);
    return fd;
}

int AsyncSocket::send(const void *data, int length)
{
    if (m_fd < 0 || length < 0) {
        errno = EBADF;
        return -1;
    }
    const ssize_t r = ::send(m_fd, data, size_t(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r < 0) {
        const int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK)
            armWrite();
        errno = e;
        return -1;
    }
    return int(r);
}

int AsyncSocket::sendTo(const void *data, int length, uint32_t address, uint16_t port)
{
    if (m_fd < 0 || length < 0) {
        errno = EBADF;
        return -1;
    }
    const sockaddr_in sa = makeAddress(address, port);
    const ssize_t r = ::sendto(m_fd, data, size_t(length), MSG_NOSIGNAL | MSG_DONTWAIT,
                               reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    return r < 0 ? -1 : int(r);
}

int AsyncSocket::receive(void *buffer, int size, int flags)
{
    if (m_fd < 0 || size < 0) {
        errno = EBADF;
        return -1;
    }
    const ssize_t r = ::recv(m_fd, buffer, size_t(size), flags | MSG_DONTWAIT);
    const int e = errno;
    armRead();
    errno = e;
    return r < 0 ? -1 : int(r);
}

int AsyncSocket::receiveFrom(void *buffer, int size, uint32_t *address, uint16_t *port, int flags)
{
    if (m_fd < 0 || size < 0) {
        errno = EBADF;
        return -1;
    }
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    const ssize_t r = ::recvfrom(m_fd, buffer, size_t(size), flags | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr *>(&sa), &len);
    const int e = errno;
    armRead();
    errno = e;
    if (r < 0)
        return -1;
    if (address)
        *address = ntohl(sa.sin_addr.s_addr);
    if (port)
        *port = ntohs(sa.sin_port);
    return int(r);
}

bool AsyncSocket::peekSender(uint32_t *address, uint16_t *port)
{
    if (m_fd < 0)
        return false;
    char byte;
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    const ssize_t r = ::recvfrom(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr *>(&sa), &len);
    if (r < 0)
        return false;
    if (address)
        *address = ntohl(sa.sin_addr.s_addr);
    if (port)
        *port = ntohs(sa.sin_port);
    return true;
}

bool AsyncSocket::setBroadcast(bool on)
{
    const int v = on ? 1 : 0;
    return m_fd >= 0 && ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &v, sizeof v) == 0;
}

bool AsyncSocket::setNoDelay(bool on)
{
    const int v = on ? 1 : 0;
    return m_fd >= 0 && ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

bool AsyncSocket::peerAddress(uint32_t *address, uint16_t *port) const
{
    if (m_fd < 0)
        return false;
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return false;
    if (address)
        *address = ntohl(sa.sin_addr.s_addr);
    if (port)
        *port = ntohs(sa.sin_port);
    return true;
}

uint16_t AsyncSocket::localPort() const
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

void AsyncSocket::suspendNotifications()
{
    m_suspended = true;
    if (m_read)
        m_read->setEnabled(false);
    if (m_write)
        m_write->setEnabled(false);
}

void AsyncSocket::resumeReadNotifications()
{
    m_suspended = false;
    armRead();
}

void AsyncSocket::makeNotifiers()
{
    m_read = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    m_read->setEnabled(false);
    QObject::connect(m_read, &QSocketNotifier::activated, [this] { readReady(); });
    m_write = new QSocketNotifier(m_fd, QSocketNotifier::Write);
    m_write->setEnabled(false);
    QObject::connect(m_write, &QSocketNotifier::activated, [this] { writeReady(); });
}

void AsyncSocket::dropNotifiers()
{
    // The notifier may be the one whose signal is being delivered right now:
    // cut it off and let the event loop free it.
    for (QSocketNotifier **n : {&m_read, &m_write}) {
        if (*n) {
            (*n)->setEnabled(false);
            QObject::disconnect(*n, nullptr, nullptr, nullptr);
            (*n)->deleteLater();
            *n = nullptr;
        }
    }
}

void AsyncSocket::armRead()
{
    if (m_read && !m_suspended && !m_connecting)
        m_read->setEnabled(true);
}

void AsyncSocket::armWrite()
{
    if (m_write && !m_suspended)
        m_write->setEnabled(true);
}

void AsyncSocket::readReady()
{
    m_read->setEnabled(false);
    if (m_listening) {
        onAccept(0);
        return;
    }
    if (m_stream) {
        char byte;
        const ssize_t r = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r == 0) {
            onClose(0);
            return;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            onClose(errno);
            return;
        }
        if (r < 0) {
            armRead();
            return;
        }
    }
    onReceive(0);
}

void AsyncSocket::writeReady()
{
    m_write->setEnabled(false);
    if (m_connecting) {
        m_connecting = false;
        int err = m_connectError;
        if (err < 0) {
            socklen_t len = sizeof err;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
        }
        m_connectError = -1;
        if (err == 0) {
            armRead();
            armWrite(); // a connected socket is ready to send: one send notification follows
        }
        onConnect(err);
        return;
    }
    onSend(0);
}
