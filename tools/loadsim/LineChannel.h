#pragma once

#include "Instrument.h"
#include "Misbehaviour.h"
#include "WireLog.h"

#include <QIODevice>
#include <QObject>
#include <QPointer>

// One conversation with the program over a device (TCP socket or serial port):
// splits the incoming bytes into "\n"-terminated lines, logs each, hands it to
// the instrument and writes the reply, misbehaving as asked.
class LineChannel : public QObject
{
    Q_OBJECT
public:
    LineChannel(QIODevice *device, const QString &name, Instrument *instrument, WireLog *log,
                Misbehaviour *misbehaviour, bool canDrop, QObject *parent = nullptr);

signals:
    // The channel wants its connection closed (--drop-after reached).
    void dropRequested();

private:
    void onReadyRead();
    void handleLine(const QByteArray &raw);
    void sendReply(const QByteArray &reply);
    void writeNow(const QByteArray &bytes);

    QPointer<QIODevice> m_device;
    QString m_name;
    Instrument *m_instrument;
    WireLog *m_log;
    Misbehaviour *m_mis;
    bool m_canDrop;
    QByteArray m_buffer;
    int m_lines = 0;
    bool m_dropping = false;
};
