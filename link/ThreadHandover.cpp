#include "ThreadHandover.h"

#include <QThread>

ThreadHandover::~ThreadHandover()
{
    // The thread may outlive the worker (and be started again).
    QObject::disconnect(m_connection);
}

void ThreadHandover::watch(QThread *thread)
{
    QObject::disconnect(m_connection);
    m_finished.store(false, std::memory_order_relaxed);
    if (!thread)
        return;
    // finished() is emitted in the ending thread itself; the direct
    // connection makes the store there, after the thread's last event.
    m_connection = QObject::connect(
        thread, &QThread::finished, thread,
        [this] { m_finished.store(true, std::memory_order_release); }, Qt::DirectConnection);
}

bool ThreadHandover::takeOver() const
{
    return m_finished.load(std::memory_order_acquire);
}
