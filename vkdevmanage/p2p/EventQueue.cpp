#include "EventQueue.h"

void EventQueue::insert(const Entry &e)
{
    auto it = m_entries.begin();
    while (it != m_entries.end() && it->due < e.due)
        ++it;
    m_entries.insert(it, e);
}

void EventQueue::arm(uint8_t code, P2pChannel *channel, int64_t nowMs, uint32_t delayMs)
{
    drop(code, channel);
    Entry e;
    e.due = nowMs + (delayMs % 65536u);
    e.code = code;
    e.channel = channel;
    e.serial = ++m_serial;
    insert(e);
}

bool EventQueue::move(uint8_t code, P2pChannel *channel, int64_t nowMs, uint32_t delayMs)
{
    if (!isPending(code, channel))
        return false;
    arm(code, channel, nowMs, delayMs);
    return true;
}

void EventQueue::drop(uint8_t code, P2pChannel *channel)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->code == code && it->channel == channel) {
            m_entries.erase(it);
            return;
        }
    }
}

void EventQueue::dropChannel(const P2pChannel *channel)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->channel == channel)
            it = m_entries.erase(it);
        else
            ++it;
    }
}

bool EventQueue::isPending(uint8_t code, const P2pChannel *channel) const
{
    for (const Entry &e : m_entries)
        if (e.code == code && e.channel == channel)
            return true;
    return false;
}

int64_t EventQueue::dueTime(uint8_t code, const P2pChannel *channel) const
{
    for (const Entry &e : m_entries)
        if (e.code == code && e.channel == channel)
            return e.due;
    return -1;
}

bool EventQueue::takeDue(int64_t nowMs, Entry *out)
{
    for (auto it = m_entries.begin(); it != m_entries.end() && it->due <= nowMs; ++it) {
        if (it->serial <= m_tickSerial) {
            *out = *it;
            m_entries.erase(it);
            return true;
        }
    }
    return false;
}
