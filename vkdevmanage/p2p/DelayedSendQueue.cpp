#include "DelayedSendQueue.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

void sendDatagram(int fd, uint32_t address, uint16_t port, const uint8_t *data, int length)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    ::sendto(fd, data, size_t(length), MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
}

} // namespace

DelayedSendQueue::DelayedSendQueue(const P2pClock *clock)
    : m_send(sendDatagram), m_clock(clock ? clock : &m_ownClock)
{
}

DelayedSendQueue::~DelayedSendQueue()
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_stop = true;
        m_entries.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void DelayedSendQueue::startThread()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void DelayedSendQueue::add(int fd, uint32_t address, uint16_t port, const uint8_t *data, int length, int delayMs)
{
    if (fd < 0 || length <= 0 || !data)
        return;
    Entry e;
    e.fd = fd;
    e.address = address;
    e.port = port;
    e.data.assign(data, data + length);
    e.dueUs = m_clock->nowUs() + int64_t(delayMs < 0 ? 0 : delayMs) * 1000;
    bool newHead = false;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_entries.size() >= kMaxEntries)
            return;
        // After the entries due at the same time or earlier.
        auto it = m_entries.begin();
        while (it != m_entries.end() && it->dueUs <= e.dueUs)
            ++it;
        newHead = it == m_entries.begin();
        m_entries.insert(it, std::move(e));
        if (m_clock->isManual()) {
            while (sendHeadGroup(m_clock->nowUs())) {
            }
            return;
        }
        startThread();
    }
    if (newHead)
        m_wake.notify_all();
}

void DelayedSendQueue::forgetSocket(int fd)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_entries.remove_if([fd](const Entry &e) { return e.fd == fd; });
}

void DelayedSendQueue::clear()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_entries.clear();
}

size_t DelayedSendQueue::size() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_entries.size();
}

void DelayedSendQueue::setSendFunctionForTest(SendFn fn)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_send = fn ? fn : sendDatagram;
}

void DelayedSendQueue::sendDue()
{
    std::lock_guard<std::mutex> g(m_lock);
    while (sendHeadGroup(m_clock->nowUs())) {
    }
}

bool DelayedSendQueue::sendHeadGroup(int64_t nowUs)
{
    if (m_entries.empty() || nowUs < m_entries.front().dueUs)
        return false;
    // The head and every entry due within 2 ms of it. Sending under the
    // lock keeps forgetSocket from returning while a send on that handle runs.
    const int64_t limit = m_entries.front().dueUs + 2000;
    while (!m_entries.empty() && m_entries.front().dueUs <= limit) {
        const Entry &e = m_entries.front();
        m_send(e.fd, e.address, e.port, e.data.data(), int(e.data.size()));
        m_entries.pop_front();
    }
    return true;
}

void DelayedSendQueue::run()
{
    std::unique_lock<std::mutex> g(m_lock);
    while (!m_stop) {
        // A manual clock: the owner sends (sendDue); this thread only waits.
        if (m_entries.empty() || m_clock->isManual()) {
            m_wake.wait(g);
            continue;
        }
        const int64_t now = m_clock->nowUs();
        const int64_t due = m_entries.front().dueUs;
        if (now < due) {
            m_wake.wait_for(g, std::chrono::microseconds(due - now));
            continue;
        }
        sendHeadGroup(now);
    }
}
