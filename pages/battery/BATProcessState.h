#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// What the battery test page keeps for the whole process rather than per page
// object: a page created again goes on with the same outcome latch, the same
// poll clock and the same run time base. Tests reset it between cases.
class BATProcessState
{
public:
    static BATProcessState &instance();
    // Back to the state at program start (the clock restarts at the next tick).
    static void reset();

    // Millisecond clock of the poll timer; nullptr restores the monotonic
    // clock, which starts at the first tick.
    using ClockFn = qint64 (*)();
    static void setClock(ClockFn clock);
    qint64 nowMs();

    // An outcome message has been shown; no other until a status of 0 or 1.
    bool outcomeLatched = false;

    // Poll timer.
    qint64 tickCount = 0;
    qint64 runStartMs = 0;
    qint64 runPauseStartMs = 0;
    bool resumePending = false;
    bool runStarted = false;
    qint64 runElapsedMs = 0;
    qint64 lastSampleMs = 0;
    qint64 lastShowMs = 0;
    qint64 lastQueryMs = 0;

    // Voltages sampled between 3 s and 5 s of run time, for the loaded voltage.
    static constexpr int kRingSize = 8;
    float loadVoltRing[kRingSize] = {};
    int ringIndex = 0;
    int ringFilled = 0; // entries written since the ring was cleared, at most kRingSize
    bool averageDone = false;

private:
    QElapsedTimer m_clock;
    bool m_clockStarted = false;
};
