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

QVector<DataPack> PackQueue::takeAll(bool releaseSlots)
{
    QVector<DataPack> packs;
    packs.reserve(m_count);
    for (int i = 0; i < m_count; ++i)
        packs << m_slots[i];
    clear(releaseSlots);
    return packs;
}
