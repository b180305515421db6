#include "LineChannel.h"

#include <QTextStream>

namespace {

QString channelName(LineChannel::Kind kind)
{
    switch (kind) {
    case LineChannel::Tcp:
        return QStringLiteral("tcp");
    case LineChannel::Serial:
        return QStringLiteral("serial");
    case LineChannel::Control:
        break;
    }
    return QStringLiteral("stdin");
}

} // namespace

LineChannel::LineChannel(QIODevice *device, Kind kind, Instrument *instrument, WireLog *log,
                         Misbehaviour *misbehaviour, QObject *parent)
    : QObject(parent), m_device(device), m_kind(kind), m_name(channelName(kind)), m_instrument(instrument),
      m_log(log), m_mis(misbehaviour)
{
    m_clock.start();
    m_floodClock.start();
    m_outputTimer.setSingleShot(true);
    m_outputTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_outputTimer, &QTimer::timeout, this, &LineChannel::pumpOutput);
    connect(device, &QIODevice::readyRead, this, &LineChannel::onReadyRead);
    if (misbehaves()) {
        connect(m_mis, &Misbehaviour::say, this, &LineChannel::onSay);
        connect(m_mis, &Misbehaviour::floodChanged, this, &LineChannel::onFloodChanged);
        connect(device, &QIODevice::bytesWritten, this, &LineChannel::pumpFlood);
        connect(&m_floodTimer, &QTimer::timeout, this, &LineChannel::pumpFlood);
        onFloodChanged();
    }
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
    const qint64 readMs = sinceMsRoundedUp();
    const QString text = QString::fromUtf8(raw);
    QString header, arg, error;
    Instrument::splitLine(text, &header, &arg);

    bool refused = false;
    if (m_mis->command(header, arg, &error, &refused)) {
        if (refused)
            QTextStream(stderr) << "loadsim: " << m_name << ": " << error << ": " << WireLog::escape(raw) << '\n';
    } else {
        const Instrument::Result r = m_instrument->handle(text);
        if (!r.known)
            QTextStream(stderr) << "loadsim: " << m_name << ": " << r.error << ": " << WireLog::escape(raw) << '\n';
        if (!misbehaves()) {
            writeNow(r.reply);
        } else if (r.query) {
            QByteArray reply = r.reply;
            if (m_mis->takeReply(header.toUtf8(), &reply))
                queueReply(reply, readMs);
        }
    }

    ++m_lines;
    if (m_kind == Tcp && m_mis->dropAfter >= 0 && m_lines >= m_mis->dropAfter) {
        // Close once the last reply has left; no more flood meanwhile.
        m_dropping = true;
        m_dropWhenDone = true;
        m_floodTimer.stop();
        pumpOutput();
    }
}

void LineChannel::queueReply(const QByteArray &reply, qint64 readMs)
{
    if (reply.isEmpty())
        return;
    const int split = m_mis->splitMs;
    const int bytewise = m_mis->bytewiseMs;
    // The first half (at least one byte) and the rest, when split.
    const int cut = split >= 0 ? qMax(1, reply.size() / 2) : -1;
    Output out;
    qint64 due = readMs + m_mis->delayMs;
    if (bytewise >= 1) {
        // One byte at a time; where the reply is split the pause is the split's.
        out.chunks.reserve(reply.size());
        for (int i = 0; i < reply.size(); ++i) {
            const int gap = i == 0 ? 0 : i == cut ? split : bytewise;
            due += gap;
            out.chunks.append(Chunk{due, gap, reply.mid(i, 1)});
        }
    } else if (cut > 0 && cut < reply.size()) {
        out.chunks.append(Chunk{due, 0, reply.left(cut)});
        out.chunks.append(Chunk{due + split, split, reply.mid(cut)});
    } else {
        out.chunks.append(Chunk{due, 0, reply});
    }
    m_output.append(out);
    pumpOutput();
}

void LineChannel::onSay(const QByteArray &bytes)
{
    if (!m_device || !m_device->isOpen() || bytes.isEmpty())
        return;
    Output out;
    out.chunks.append(Chunk{m_clock.elapsed(), 0, bytes});
    // At once, but never into the middle of a reply already on its way.
    const bool replyUnderway = !m_output.isEmpty() && m_output.first().next > 0;
    m_output.insert(replyUnderway ? 1 : 0, out);
    pumpOutput();
}

void LineChannel::pumpOutput()
{
    m_outputTimer.stop();
    while (!m_output.isEmpty()) {
        Output &out = m_output.first();
        const Chunk &c = out.chunks.at(out.next);
        qint64 due = c.dueMs;
        if (out.next > 0)
            due = qMax(due, m_lastChunkMs + c.gapMs);
        const qint64 now = m_clock.elapsed();
        if (due > now) {
            m_outputTimer.start(int(qMin<qint64>(due - now, 24 * 3600 * 1000)));
            return;
        }
        writeNow(c.bytes);
        m_lastChunkMs = sinceMsRoundedUp();
        if (++out.next == out.chunks.size())
            m_output.removeFirst();
    }
    if (m_dropWhenDone) {
        m_dropWhenDone = false;
        QTimer::singleShot(1, this, [this] { emit dropRequested(); });
        return;
    }
    pumpFlood();
}

void LineChannel::onFloodChanged()
{
    m_floodBudget = 0;
    m_floodClock.restart();
    if (m_mis->floodRate > 0 && !m_dropping)
        m_floodTimer.start(10);
    else
        m_floodTimer.stop();
    pumpFlood();
}

void LineChannel::pumpFlood()
{
    const int rate = m_mis->floodRate;
    if (!misbehaves() || rate < 0 || m_dropping || !m_device || !m_device->isOpen())
        return;
    const QByteArray &unit = m_mis->floodText;
    if (rate > 0) {
        // The rate accrues as a budget, capped so that a stall brings no big burst.
        const double maxBudget = qMax<double>(unit.size(), rate * 0.2);
        m_floodBudget = qMin(maxBudget, m_floodBudget + rate * (m_floodClock.nsecsElapsed() / 1e9));
        m_floodClock.restart();
    }
    if (!m_output.isEmpty() && m_output.first().next > 0)
        return; // a reply is on its way: no flood byte goes into it
    const qint64 room = kFloodPending - m_device->bytesToWrite();
    if (room <= 0)
        return; // more once the device has taken some (bytesWritten)
    // Whole repetitions only, so that replies land between them.
    qint64 reps = qMax<qint64>(1, room / unit.size());
    if (rate > 0)
        reps = qMin(reps, qint64(m_floodBudget / unit.size()));
    if (reps <= 0)
        return;
    if (rate > 0)
        m_floodBudget -= double(reps * unit.size());
    m_device->write(unit.repeated(int(reps)));
}

void LineChannel::writeNow(const QByteArray &bytes)
{
    if (m_device && m_device->isOpen() && !bytes.isEmpty())
        m_device->write(bytes);
}
