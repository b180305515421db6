#include "CrashHandler.h"
#include "LocalTimeZone.h"
#include "ProgramWiring.h"
#include "Quellon.h"
#include "TcpPort.h"
#include "serialPort.h"

#include <QApplication>
#include <QThread>

namespace {
// Lets go of the instrument and stops the threads one after another. The
// window first queues the input-off and return-to-local commands of a link
// still open, and its close request; each worker is told to stop reading
// (its tick ends without sitting out read windows), writes what is queued
// while its link is open, closes it, and only then is its thread stopped.
void quitThreads(Quellon &w, QThread &third, QThread &serialThread, serialPort &serialWorker,
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
    connectWindowAndWorkers(&w, &serialWorker, &tcpWorker);

    QObject::connect(&a, &QCoreApplication::aboutToQuit, &a,
                     [&] { quitThreads(w, third, serialThread, serialWorker, tcpThread, tcpWorker); }, Qt::DirectConnection);

    return a.exec();
}
