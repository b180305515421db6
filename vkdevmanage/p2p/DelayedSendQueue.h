#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

// Datagrams to be sent a few milliseconds later (hole punching). One timer
// thread of the library's own sends them; the queue is shared with the
// owner's thread under a lock. Entries hold the socket handle: a socket must
// be forgotten here (forgetSocket) before it is closed.
class DelayedSendQueue
{
public:
    // Function that performs a send (tests replace it to record what goes out).
    using SendFn = void (*)(int fd, uint32_t address, uint16_t port, const uint8_t *data, int length);

    DelayedSendQueue();
    ~DelayedSendQueue();
    DelayedSendQueue(const DelayedSendQueue &) = delete;
    DelayedSendQueue &operator=(const DelayedSendQueue &) = delete;

    void add(int fd, uint32_t address, uint16_t port, const uint8_t *data, int length, int delayMs);
    void forgetSocket(int fd);
    void clear();
    size_t size() const;
    void setSendFunctionForTest(SendFn fn);
    // Bound on what waits here: punching needs a handful of entries.
    static constexpr size_t kMaxEntries = 256;

private:
    struct Entry
    {
        int fd = -1;
        uint32_t address = 0;
        uint16_t port = 0;
        std::vector<uint8_t> data;
        std::chrono::steady_clock::time_point due;
    };
    void run();
    void startThread();

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::list<Entry> m_entries;
    std::thread m_thread;
    bool m_stop = false;
    SendFn m_send;
};
