#pragma once

#include <QByteArray>

#include <atomic>
#include <functional>

class QIODevice;

// Reads instrument replies from a serial port or a TCP socket, one line per
// query, and keeps late or unsolicited bytes from being taken for the reply
// of a later query.
//
// - A reply is complete at its newline. It must begin within the read window;
//   once it has begun, reading goes on while bytes keep coming (each gap
//   shorter than a window, at most kMaxReplyMs in all), so a reply sent in
//   pieces or byte by byte is still read whole.
// - A reply is at most kMaxReplyBytes long; a longer line is dropped.
// - After a window that ended without a complete reply the line is let fall
//   quiet before the next command is written: a further window is waited
//   out and whatever arrives meanwhile is discarded (`settle`).
// - Unread input is discarded before every write (`discardInput`).
//
// The device's own read buffer is bounded as well (kReadBufferBytes), so a
// flooding peer cannot grow the program's memory: what does not fit stays
// in the system's socket buffer, and the excess is dropped as it is read.
class ReplyReader
{
public:
    static constexpr int kMaxReplyBytes = 4096;
    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    static constexpr int kMaxReplyMs = 1000;
    // Longest single wait, so that a stop request is seen soon.
    static constexpr int kWaitSliceMs = 50;

    enum Result { Complete, NoReply, Overlong, Stopped, LinkGone };

    // `alive` tells whether the link still carries data (a TCP socket that
    // left the connected state does not); `stop` asks the reader to give up.
    ReplyReader(int windowMs, const std::atomic<bool> *stop = nullptr);

    void setDevice(QIODevice *device, std::function<bool()> alive = {});
    void setWindow(int ms) { m_windowMs = ms; }
    int window() const { return m_windowMs; }

    // One reply line within the window. On Complete `line` holds the bytes up
    // to and including the newline; on every other result it is empty and the
    // line is marked to be settled before the next write.
    Result readLine(QByteArray *line);

    // Drops every byte that has arrived so far, buffered or still with the
    // system (bounded: a flood that never pauses is cut after a few MB).
    void discardInput();

    // True when the last read ended without a complete reply.
    bool needsSettle() const { return m_unsettled; }
    // When needed, waits out one further window discarding what comes.
    void settle();
    // Forget that a settle is due (a new link starts clean).
    void reset() { m_unsettled = false; }

private:
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }
    bool alive() const { return !m_alive || m_alive(); }
    // Waits up to `ms` for more input (in slices); false on stop or link loss.
    bool waitForInput(int ms);
    // Moves available bytes into m_pending, dropping beyond the line limit.
    void takeAvailable();

    QIODevice *m_device = nullptr;
    std::function<bool()> m_alive;
    const std::atomic<bool> *m_stop = nullptr;
    int m_windowMs;
    bool m_unsettled = false;
    QByteArray m_pending;
};
