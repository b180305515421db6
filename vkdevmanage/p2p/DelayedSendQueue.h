#pragma once

#include "P2pClock.h"

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
// The due times are read from the owner's clock. While that clock is a
// manual one, nothing is sent by the timer thread: the entries go out on
// the thread that adds them or that moves the clock (sendDue) once due.
class DelayedSendQueue
{
public:
    // Function that performs a send (tests replace it to record what goes out).
    using SendFn = void (*)(int fd, uint32_t address, uint16_t port, const uint8_t *data, int length);

    // The clock must outlive the queue; none: a steady clock of its own.
    explicit DelayedSendQueue(const P2pClock *clock = nullptr);
    ~DelayedSendQueue();
    DelayedSendQueue(const DelayedSendQueue &) = delete;
    DelayedSendQueue &operator=(const DelayedSendQueue &) = delete;

    void add(int fd, uint32_t address, uint16_t port, const uint8_t *data, int length, int delayMs);
    void forgetSocket(int fd);
    void clear();
    size_t size() const;
    // Sends what is due by the clock; to be called after a manual clock moved.
    void sendDue();
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
        int64_t dueUs = 0;
    };
    void run();
    void startThread();
    // Under the lock: sends the head and what is due within 2 ms of it, when the head is due.
    bool sendHeadGroup(int64_t nowUs);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::list<Entry> m_entries;
    std::thread m_thread;
    bool m_stop = false;
    SendFn m_send;
    P2pClock m_ownClock;
    const P2pClock *m_clock;
};
