#include "RttEstimator.h"

void RttEstimator::arm(uint8_t code, const P2pChannel *channel, int64_t nowMs)
{
    m_code = code;
    m_channel = channel;
    m_sendTime = nowMs;
}

bool RttEstimator::complete(uint8_t code, const P2pChannel *channel, int64_t nowMs)
{
    if (m_code == 0 || code != m_code || channel != m_channel)
        return false;
    m_code = 0;
    const int64_t elapsed = nowMs - m_sendTime;
    takeSample(uint32_t(elapsed < 0 ? 0 : (elapsed > 0x3FFFFFFF ? 0x3FFFFFFF : elapsed)) * 4);
    return true;
}

void RttEstimator::takeSample(uint32_t sample)
{
    if (m_estimate == 0) {
        m_estimate = sample;
        return;
    }
    if (uint64_t(sample) >= uint64_t(m_estimate) * 3)
        return;
    const int64_t diff = int64_t(sample) - int64_t(m_estimate);
    m_estimate = uint32_t(int64_t(m_estimate) + diff / 4);
}
