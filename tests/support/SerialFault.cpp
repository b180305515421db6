#include "SerialFault.h"

#include "serialPort.h"

SerialFault::SerialFault(serialPort *worker)
    : m_worker(worker)
{
    qRegisterMetaType<SerialFaultPack>("SerialFaultPack");
    moveToThread(worker->thread());
}

bool SerialFault::raise(QSerialPort::SerialPortError error)
{
    SerialFaultPack fault;
    fault.worker = m_worker;
    fault.error = error;
    return QMetaObject::invokeMethod(this, "raiseHere", Qt::QueuedConnection, Q_ARG(SerialFaultPack, fault));
}

void SerialFault::raiseHere(SerialFaultPack fault)
{
    fault.worker->handleSerialError(fault.error);
}
