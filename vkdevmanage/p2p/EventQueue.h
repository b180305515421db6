#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

class P2pChannel;

// The engine's timed events, ordered by due time. An event (code, channel)
// is held at most once: arming it again moves it.
class EventQueue
{
public:
    struct Entry
    {
        int64_t due = 0;
        uint8_t code = 0;
        P2pChannel *channel = nullptr;
        uint64_t serial = 0;
    };

    // Arms (or moves) the event to fall due delayMs (modulo 65536) from now.
    void arm(uint8_t code, P2pChannel *channel, int64_t nowMs, uint32_t delayMs);
    // Moves a pending event; false (nothing armed) when there is none.
    bool move(uint8_t code, P2pChannel *channel, int64_t nowMs, uint32_t delayMs);
    void drop(uint8_t code, P2pChannel *channel);
    void dropChannel(const P2pChannel *channel);
    bool isPending(uint8_t code, const P2pChannel *channel) const;
    int64_t dueTime(uint8_t code, const P2pChannel *channel) const;
    void clear() { m_entries.clear(); }
    size_t size() const { return m_entries.size(); }

    // Marks the start of a tick: only events armed before it run in it.
    void beginTick() { m_tickSerial = m_serial; }
    // Takes the next event due at nowMs that was armed before the tick began.
    bool takeDue(int64_t nowMs, Entry *out);

private:
    void insert(const Entry &e);
    std::list<Entry> m_entries;
    uint64_t m_serial = 0;
    uint64_t m_tickSerial = 0;
};
