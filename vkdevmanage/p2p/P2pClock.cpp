#include "P2pClock.h"

#include <chrono>
#include <ctime>

int64_t P2pClock::steadyUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t P2pClock::nowUs() const
{
    if (isManual())
        return m_manualUs.load(std::memory_order_acquire);
    return steadyUs() + m_offsetUs.load(std::memory_order_relaxed);
}

int64_t P2pClock::wallSeconds() const
{
    if (isManual())
        return m_wallAtStart.load() + (m_manualUs.load() - m_manualStartUs.load()) / 1000000;
    return int64_t(std::time(nullptr)) + m_offsetUs.load(std::memory_order_relaxed) / 1000000;
}

void P2pClock::setManual()
{
    if (isManual())
        return;
    const int64_t now = nowUs();
    m_manualStartUs.store(now);
    m_wallAtStart.store(wallSeconds());
    m_manualUs.store(now);
    m_manual.store(true, std::memory_order_release);
}

void P2pClock::advance(int64_t ms)
{
    if (ms <= 0)
        return;
    if (isManual())
        m_manualUs.fetch_add(ms * 1000, std::memory_order_acq_rel);
    else
        m_offsetUs.fetch_add(ms * 1000, std::memory_order_relaxed);
}
