#pragma once

#include "Instrument.h"
#include "Misbehaviour.h"
#include "WireLog.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVector>

// One conversation with the program over a device (TCP socket or serial port):
// splits the incoming bytes into "\n"-terminated lines, logs each, hands it to
// the instrument and writes the reply, misbehaving as asked. The control
// channel is one too, but never misbehaves.
class LineChannel : public QObject
{
    Q_OBJECT
public:
    enum Kind { Tcp, Serial, Control };

    LineChannel(QIODevice *device, Kind kind, Instrument *instrument, WireLog *log, Misbehaviour *misbehaviour,
                QObject *parent = nullptr);

    // Most flood bytes kept waiting in the device's own write buffer.
    static constexpr qint64 kFloodPending = 256 * 1024;

signals:
    // The channel wants its connection closed (--drop-after reached).
    void dropRequested();

private:
    // A piece of output: leaves no earlier than `dueMs` (m_clock) and, within
    // its reply, at least `gapMs` after the piece before it.
    struct Chunk
    {
        qint64 dueMs = 0;
        int gapMs = 0;
        QByteArray bytes;
    };
    // A reply or an unsolicited line; its pieces leave in order, nothing cuts in.
    struct Output
    {
        QVector<Chunk> chunks;
        int next = 0;
    };

    bool misbehaves() const { return m_kind != Control; }
    void onReadyRead();
    void handleLine(const QByteArray &raw);
    void queueReply(const QByteArray &reply, qint64 readMs);
    void onSay(const QByteArray &bytes);
    void pumpOutput();
    void onFloodChanged();
    void pumpFlood();
    void writeNow(const QByteArray &bytes);
    // m_clock in whole milliseconds counted up, for the moments later pauses
    // count from: rounding down would let a reply leave up to 1 ms early.
    qint64 sinceMsRoundedUp() const { return (m_clock.nsecsElapsed() + 999999) / 1000000; }

    QPointer<QIODevice> m_device;
    Kind m_kind;
    QString m_name;
    Instrument *m_instrument;
    WireLog *m_log;
    Misbehaviour *m_mis;
    QByteArray m_buffer;
    int m_lines = 0;
    bool m_dropping = false;
    bool m_dropWhenDone = false;

    QElapsedTimer m_clock;
    QList<Output> m_output;
    qint64 m_lastChunkMs = 0;
    QTimer m_outputTimer;

    QTimer m_floodTimer;       // paces a flood with a rate
    QElapsedTimer m_floodClock;
    double m_floodBudget = 0;  // bytes the rate allows now
};
