#pragma once

#include "DataPack.h"

#include <QVector>

// The command queue of a link worker: 100 slots and a count of filled ones.
// A pack that finds all slots taken starts the queue again: it goes into the
// first slot and the waiting packs are dropped.
class PackQueue
{
public:
    static constexpr int kSlots = 100;

    void push(const DataPack &pack);
    int count() const { return m_count; }
    const DataPack &at(int i) const { return m_slots[i]; }
    // Count 0; with releaseSlots the slots' texts are released too.
    void clear(bool releaseSlots = true);
    // The waiting packs in slot order; the queue is left empty.
    QVector<DataPack> takeAll(bool releaseSlots = true);

private:
    DataPack m_slots[kSlots];
    int m_count = 0;
};
