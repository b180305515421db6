#pragma once

#include <atomic>
#include <cstdint>

// The P2P engine's clock. By default the steady clock (and the wall clock
// for the time fields of the messages); a test may switch it to a clock of
// its own that stands still until the test moves it. Read from the delayed
// send thread as well as from the owner's thread.
class P2pClock
{
public:
    int64_t nowUs() const;
    int64_t nowMs() const { return nowUs() / 1000; }
    // Seconds since the epoch, for the time fields of the messages.
    int64_t wallSeconds() const;

    bool isManual() const { return m_manual.load(std::memory_order_acquire); }
    // From now on the clock moves only by advance(); it starts from the
    // present reading, so that nothing armed before jumps.
    void setManual();
    // Moves the clock on: the manual clock by exactly ms, the steady one by
    // an offset added to every later reading.
    void advance(int64_t ms);

private:
    static int64_t steadyUs();

    std::atomic<bool> m_manual {false};
    std::atomic<int64_t> m_manualUs {0};
    std::atomic<int64_t> m_offsetUs {0};
    std::atomic<int64_t> m_manualStartUs {0};
    std::atomic<int64_t> m_wallAtStart {0};
};
