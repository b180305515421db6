#include "ReplyReader.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QThread>

#include <algorithm>

namespace {
// How many buffer loads one discard drops at most before the write goes
// out anyway (a peer that floods without pause would otherwise hold the
// worker here for ever).
const int kMaxDiscardRounds = 64;
}

ReplyReader::ReplyReader(int windowMs, const std::atomic<bool> *stop)
    : m_stop(stop)
    , m_windowMs(windowMs)
{
}

void ReplyReader::setDevice(QIODevice *device, std::function<bool()> alive)
{
    m_device = device;
    m_alive = std::move(alive);
}

bool ReplyReader::waitForInput(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (stopped() || !alive())
            return false;
        const int left = ms - int(clock.elapsed());
        if (left <= 0)
            return false;
        const int slice = std::min(left, kWaitSliceMs);
        if (!m_device || !m_device->isOpen()) {
            // Nothing can arrive; sit the time out without spinning.
            QThread::msleep(ulong(slice));
            continue;
        }
        const qint64 before = m_device->bytesAvailable();
        QElapsedTimer waited;
        waited.start();
        if (m_device->waitForReadyRead(slice) || m_device->bytesAvailable() > before)
            return true;
        if (!alive())
            return false;
        // A device that refuses to wait (an error) must not make this spin.
        const qint64 rest = slice - waited.elapsed();
        if (rest > 1)
            QThread::msleep(ulong(rest));
    }
}

void ReplyReader::takeAvailable()
{
    if (!m_device || !m_device->isOpen())
        return;
    const qint64 room = kMaxReplyBytes + 1 - m_pending.size();
    if (room <= 0)
        return;
    const qint64 n = std::min(m_device->bytesAvailable(), room);
    if (n > 0)
        m_pending += m_device->read(n);
}

ReplyReader::Result ReplyReader::readLine(QByteArray *line)
{
    line->clear();
    m_pending.clear();
    m_unsettled = true; // until a whole line is in

    QElapsedTimer clock;
    clock.start();
    // The reply has to begin within the window.
    for (;;) {
        takeAvailable();
        if (!m_pending.isEmpty())
            break;
        if (stopped())
            return Stopped;
        if (!alive())
            return LinkGone;
        const int left = m_windowMs - int(clock.elapsed());
        if (left <= 0)
            return NoReply;
        waitForInput(left);
    }

    // Begun: read on to the newline while bytes keep coming.
    QElapsedTimer begun;
    begun.start();
    for (;;) {
        const int nl = m_pending.indexOf('\n');
        if (nl >= 0 && nl < kMaxReplyBytes) {
            *line = m_pending.left(nl + 1);
            m_pending.clear();
            m_unsettled = false;
            return Complete;
        }
        if (m_pending.size() >= kMaxReplyBytes) {
            m_pending.clear();
            return Overlong;
        }
        if (stopped())
            return Stopped;
        if (!alive())
            return LinkGone;
        const int left = kMaxReplyMs - int(begun.elapsed());
        if (left <= 0 || !waitForInput(std::min(left, m_windowMs))) {
            m_pending.clear();
            return NoReply;
        }
        takeAvailable();
    }
}

void ReplyReader::discardInput()
{
    if (!m_device || !m_device->isOpen())
        return;
    for (int round = 0; round < kMaxDiscardRounds; ++round) {
        const qint64 n = m_device->bytesAvailable();
        if (n > 0)
            m_device->skip(n);
        if (!alive() || !m_device->waitForReadyRead(0))
            break;
    }
}

void ReplyReader::settle()
{
    if (!m_unsettled)
        return;
    m_unsettled = false;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        discardInput();
        const int left = m_windowMs - int(clock.elapsed());
        if (left <= 0 || stopped() || !alive())
            break;
        waitForInput(left);
    }
    discardInput();
}
