#include "ProgramWiring.h"

#include "Quellon.h"
#include "TcpPort.h"
#include "serialPort.h"

#include <QThread>

void connectWindowAndWorkers(Quellon *w, serialPort *serial, TcpPort *tcp)
{
    QObject::connect(w, &Quellon::sendSriealFun, serial, &serialPort::recvPackFun);
    QObject::connect(serial, &serialPort::sendPackFun, w, &Quellon::recvSerialFun);
    QObject::connect(w, &Quellon::getSerialInfoFun, serial, &serialPort::getSerialInfoFun);
    QObject::connect(serial, &serialPort::sendSerialInfo, w, &Quellon::recvSerialInfoFun);
    QObject::connect(w, &Quellon::sendSriealFun, tcp, &TcpPort::recvPackFun);
    QObject::connect(tcp, &TcpPort::sendPackFun, w, &Quellon::recvSerialFun);
    QObject::connect(w, &Quellon::getTcpInfoFun, tcp, &TcpPort::getTcpInfoFun);
    QObject::connect(tcp, &TcpPort::sendTcpInfo, w, &Quellon::recvTcpInfoFun);

    // The direct call first: the queued one must find the request made.
    QObject::connect(w, &Quellon::dropQueuedCommands, serial, [serial] { serial->requestQueueDrop(); },
                     Qt::DirectConnection);
    QObject::connect(w, &Quellon::dropQueuedCommands, serial, &serialPort::dropQueue);
    QObject::connect(w, &Quellon::dropQueuedCommands, tcp, [tcp] { tcp->requestQueueDrop(); },
                     Qt::DirectConnection);
    QObject::connect(w, &Quellon::dropQueuedCommands, tcp, &TcpPort::dropQueue);
}

void quitProgramThreads(Quellon &w, QThread &third, QThread &serialThread, serialPort &serialWorker,
                        QThread &tcpThread, TcpPort &tcpWorker)
{
    w.releaseLink();
    serialWorker.requestStop();
    tcpWorker.requestStop();
    if (serialThread.isRunning())
        QMetaObject::invokeMethod(&serialWorker, "shutdown", Qt::BlockingQueuedConnection);
    if (tcpThread.isRunning())
        QMetaObject::invokeMethod(&tcpWorker, "shutdown", Qt::BlockingQueuedConnection);
    for (QThread *t : {&third, &serialThread, &tcpThread}) {
        t->quit();
        t->wait();
    }
}
