#include "PackQueue.h"

void PackQueue::push(const DataPack &pack)
{
    if (m_count > kSlots - 1) {
        m_slots[0] = pack;
        m_count = 1;
    } else {
        m_slots[m_count++] = pack;
    }
}

void PackQueue::clear(bool releaseSlots)
{
    if (releaseSlots)
        for (DataPack &slot : m_slots)
            slot = DataPack();
    m_count = 0;
}
