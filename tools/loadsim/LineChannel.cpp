#include "LineChannel.h"

#include <QTextStream>
#include <QTimer>

LineChannel::LineChannel(QIODevice *device, const QString &name, Instrument *instrument, WireLog *log,
                         Misbehaviour *misbehaviour, bool canDrop, QObject *parent)
    : QObject(parent), m_device(device), m_name(name), m_instrument(instrument), m_log(log),
      m_mis(misbehaviour), m_canDrop(canDrop)
{
    connect(device, &QIODevice::readyRead, this, &LineChannel::onReadyRead);
}

void LineChannel::onReadyRead()
{
    if (!m_device)
        return;
    m_buffer += m_device->readAll();
    int nl;
    while (!m_dropping && (nl = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray raw = m_buffer.left(nl);
        m_buffer.remove(0, nl + 1);
        handleLine(raw);
    }
    if (m_dropping)
        m_buffer.clear();
}

void LineChannel::handleLine(const QByteArray &raw)
{
    if (m_log)
        m_log->write(m_name, raw);
    const Instrument::Result r = m_instrument->handle(QString::fromUtf8(raw));
    if (!r.known)
        QTextStream(stderr) << "loadsim: " << m_name << ": " << r.error << ": " << WireLog::escape(raw) << '\n';

    int lastWriteMs = 0;
    if (!r.reply.isEmpty()) {
        const bool answer = !m_mis->silent && (m_mis->silentAfter < 0 || m_mis->repliesSent < m_mis->silentAfter);
        if (answer) {
            ++m_mis->repliesSent;
            sendReply(r.reply);
            lastWriteMs = m_mis->delayMs + qMax(0, m_mis->splitMs);
        }
    }

    ++m_lines;
    if (m_canDrop && m_mis->dropAfter >= 0 && m_lines >= m_mis->dropAfter) {
        m_dropping = true;
        // Close once the last reply has left.
        QTimer::singleShot(lastWriteMs + 1, this, [this] { emit dropRequested(); });
    }
}

void LineChannel::sendReply(const QByteArray &reply)
{
    if (m_mis->splitMs < 0) {
        if (m_mis->delayMs > 0)
            QTimer::singleShot(m_mis->delayMs, this, [this, reply] { writeNow(reply); });
        else
            writeNow(reply);
        return;
    }
    // Two pieces: the first half (at least one byte), the rest splitMs later.
    const int cut = qMax(1, reply.size() / 2);
    const QByteArray first = reply.left(cut);
    const QByteArray second = reply.mid(cut);
    QTimer::singleShot(m_mis->delayMs, this, [this, first] { writeNow(first); });
    QTimer::singleShot(m_mis->delayMs + m_mis->splitMs, this, [this, second] { writeNow(second); });
}

void LineChannel::writeNow(const QByteArray &bytes)
{
    if (m_device && m_device->isOpen() && !bytes.isEmpty())
        m_device->write(bytes);
}
