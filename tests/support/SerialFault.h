#pragma once

#include "QueuedValue.h"

#include <QMetaType>
#include <QObject>
#include <QSerialPort>

class serialPort;

// What a raised serial error carries to the worker's thread: the worker too,
// so that the call there reads nothing the test thread wrote but the value
// handed over.
struct SerialFaultFields
{
    serialPort *worker = nullptr;
    QSerialPort::SerialPortError error = QSerialPort::NoError;
};
struct SerialFaultPack : QueuedValue<SerialFaultFields>
{
};
Q_DECLARE_METATYPE(SerialFaultPack)

// Raises a serial error on a serial worker in the worker's own thread, queued
// behind what is queued there already, as its port would report it:
//   SerialFault fault(worker);
//   fault.raise(QSerialPort::ResourceError);
// Keep it until the worker has answered the error.
class SerialFault : public QObject
{
    Q_OBJECT
public:
    explicit SerialFault(serialPort *worker);
    bool raise(QSerialPort::SerialPortError error);

private slots:
    void raiseHere(SerialFaultPack fault);

private:
    serialPort *m_worker;
};
