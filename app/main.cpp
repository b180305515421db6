#include "CrashHandler.h"
#include "LocalTimeZone.h"
#include "Quellon.h"
#include "TcpPort.h"
#include "serialPort.h"

#include <QApplication>
#include <QThread>

namespace {
// Stops the threads one after another, each after the tick it is in.
void quitThreads(QThread &third, QThread &serialThread, QThread &tcpThread)
{
    for (QThread *t : {&third, &serialThread, &tcpThread}) {
        t->quit();
        t->wait();
    }
}
}

int main(int argc, char *argv[])
{
    pinLocalTimeZone();
    QApplication a(argc, argv);
    installCrashHandler();

    QThread third; // never started; it only takes part in the quit sequence

    Quellon w;
    w.setWindowTitle(QStringLiteral("Darvik KTR series") + QStringLiteral("--V1.0.17 20260928"));
    w.show();

    QThread serialThread;
    serialPort serialWorker;
    serialWorker.moveToThread(&serialThread);
    QObject::connect(&serialThread, &QThread::started, &serialWorker, &serialPort::init);
    serialThread.start(QThread::InheritPriority);

    QThread tcpThread;
    TcpPort tcpWorker;
    tcpWorker.moveToThread(&tcpThread);
    QObject::connect(&tcpThread, &QThread::started, &tcpWorker, &TcpPort::init);
    tcpThread.start(QThread::InheritPriority);

    // Window and workers live in different threads: these act as queued.
    QObject::connect(&w, &Quellon::sendSriealFun, &serialWorker, &serialPort::recvPackFun);
    QObject::connect(&serialWorker, &serialPort::sendPackFun, &w, &Quellon::recvSerialFun);
    QObject::connect(&w, &Quellon::getSerialInfoFun, &serialWorker, &serialPort::getSerialInfoFun);
    QObject::connect(&serialWorker, &serialPort::sendSerialInfo, &w, &Quellon::recvSerialInfoFun);
    QObject::connect(&w, &Quellon::sendSriealFun, &tcpWorker, &TcpPort::recvPackFun);
    QObject::connect(&tcpWorker, &TcpPort::sendPackFun, &w, &Quellon::recvSerialFun);
    QObject::connect(&w, &Quellon::getTcpInfoFun, &tcpWorker, &TcpPort::getTcpInfoFun);
    QObject::connect(&tcpWorker, &TcpPort::sendTcpInfo, &w, &Quellon::recvTcpInfoFun);

    QObject::connect(&a, &QCoreApplication::aboutToQuit, &a,
                     [&] { quitThreads(third, serialThread, tcpThread); }, Qt::DirectConnection);

    return a.exec();
}
