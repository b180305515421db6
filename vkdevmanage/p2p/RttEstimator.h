#pragma once

#include <cstdint>

class P2pChannel;

// Round trip to the relay server, measured on one outstanding probe at a time.
// The estimate is four times the round trip in ms (0 = none yet).
class RttEstimator
{
public:
    void arm(uint8_t code, const P2pChannel *channel, int64_t nowMs);
    // True when the answer matched the armed probe (the sample is then taken).
    bool complete(uint8_t code, const P2pChannel *channel, int64_t nowMs);
    void takeSample(uint32_t sample);
    uint32_t estimate() const { return m_estimate; }
    uint8_t armedCode() const { return m_code; }
    void reset() { *this = RttEstimator(); }
    // Drops an outstanding probe of a channel that goes away.
    void forget(const P2pChannel *channel)
    {
        if (m_channel == channel)
            m_code = 0;
    }

private:
    uint8_t m_code = 0;
    const P2pChannel *m_channel = nullptr;
    int64_t m_sendTime = 0;
    uint32_t m_estimate = 0;
};
