#include "CrashHandler.h"
#include "DecimalPointInput.h"
#include "LocalTimeZone.h"
#include "ProgramWiring.h"
#include "Quellon.h"
#include "TcpPort.h"
#include "serialPort.h"

#include <QApplication>
#include <QThread>

int main(int argc, char *argv[])
{
    ignoreFileSizeSignal();
    pinLocalTimeZone();
    QApplication a(argc, argv);
    installCrashHandler();
    DecimalPointInput::install(&a);

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
                     [&] { quitProgramThreads(w, third, serialThread, serialWorker, tcpThread, tcpWorker); }, Qt::DirectConnection);

    return a.exec();
}
