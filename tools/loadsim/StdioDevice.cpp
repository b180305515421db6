#include "StdioDevice.h"

#include <cstring>
#include <unistd.h>

StdioDevice::StdioDevice(QObject *parent)
    : QIODevice(parent), m_notifier(STDIN_FILENO, QSocketNotifier::Read)
{
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    connect(&m_notifier, &QSocketNotifier::activated, this, &StdioDevice::onActivated);
}

void StdioDevice::onActivated()
{
    char buf[4096];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        m_notifier.setEnabled(false); // end of input (or none): the control channel stays quiet
        return;
    }
    m_pending.append(buf, int(n));
    emit readyRead();
}

qint64 StdioDevice::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin<qint64>(maxSize, m_pending.size());
    std::memcpy(data, m_pending.constData(), size_t(n));
    m_pending.remove(0, int(n));
    return n;
}

qint64 StdioDevice::writeData(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDOUT_FILENO, data + done, size_t(size - done));
        if (n <= 0)
            return done > 0 ? done : -1;
        done += n;
    }
    return done;
}
