#pragma once

#include <QMetaObject>

#include <atomic>

class QThread;

// Hands a worker over from its own thread, once that thread has finished, to
// the thread that destroys it. QThread::wait() orders the two already, but
// under a lock that ThreadSanitizer cannot see; this mark it can: the worker's
// thread sets it as the very last thing it does (release), and the destroying
// thread reads it before it touches the worker (acquire).
//
//   init(), in the worker's thread:  m_handover.watch(thread());
//   destructor, after wait():        m_handover.takeOver();
class ThreadHandover
{
public:
    ThreadHandover() = default;
    ~ThreadHandover();
    ThreadHandover(const ThreadHandover &) = delete;
    ThreadHandover &operator=(const ThreadHandover &) = delete;

    // Sets the mark when `thread` emits finished(), in that thread, after the
    // slots connected before this call. Call it from within `thread`, last in
    // the worker's setup, so that what the setup connects to finished() runs
    // before the mark.
    void watch(QThread *thread);

    // True once the watched thread has finished: all it did before then
    // happens before what the caller does next. False when nothing was
    // watched or the thread has not finished.
    bool takeOver() const;

private:
    std::atomic<bool> m_finished{false};
    QMetaObject::Connection m_connection;
};
