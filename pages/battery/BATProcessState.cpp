#include "BATProcessState.h"

namespace {
BATProcessState::ClockFn g_clock = nullptr;
}

BATProcessState &BATProcessState::instance()
{
    static BATProcessState s;
    return s;
}

void BATProcessState::reset()
{
    instance() = BATProcessState();
}

void BATProcessState::setClock(ClockFn clock)
{
    g_clock = clock;
}

qint64 BATProcessState::nowMs()
{
    if (g_clock)
        return g_clock();
    if (!m_clockStarted) {
        m_clock.start();
        m_clockStarted = true;
    }
    return m_clock.elapsed();
}
