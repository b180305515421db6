#pragma once

// The window and both link workers, wired and threaded as the program entry
// does it, for tests against the instrument simulator.

#include "PackCapture.h"
#include "ProgramWiring.h"
#include "QuellonFixture.h"
#include "TcpPort.h"
#include "serialPort.h"

#include <QThread>

#include <memory>

// Window, workers and threads as the entry builds them.
class LinkedProgram
{
public:
    // `watchdogTicks` > 0 shortens the TCP worker's connection watchdog.
    explicit LinkedProgram(int watchdogTicks = 0)
        : fixture(false)
    {
        fixture.create();
        Quellon *w = fixture.window.get();
        // A shorter poll period keeps the test short; the tick logic is the same.
        w->pollTimer()->start(200);

        serial = new serialPort;
        serial->moveToThread(&serialThread);
        QObject::connect(&serialThread, &QThread::started, serial, &serialPort::init);
        serialThread.start();
        tcp = new TcpPort;
        if (watchdogTicks > 0)
            tcp->setWatchdogTicks(watchdogTicks);
        tcp->moveToThread(&tcpThread);
        QObject::connect(&tcpThread, &QThread::started, tcp, &TcpPort::init);
        tcpThread.start();

        connectWindowAndWorkers(w, serial, tcp);

        serialReplies = std::make_unique<PackCapture>(serial, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection);
        tcpReplies = std::make_unique<PackCapture>(tcp, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection);
    }
    ~LinkedProgram()
    {
        fixture.window->pollTimer()->stop();
        serialThread.quit();
        serialThread.wait();
        tcpThread.quit();
        tcpThread.wait();
        serialReplies.reset();
        tcpReplies.reset();
        delete tcp;
        delete serial;
    }

    // Replies of the remote-state query with the given status.
    int remoteReplies(const PackCapture &replies, int status) const
    {
        int n = 0;
        for (const DataPack &p : replies.withKey("SYS:REM:P"))
            n += p.status == status && (status != 0 || p.data == "1\n");
        return n;
    }

    QuellonFixture fixture;
    QThread serialThread;
    QThread tcpThread;
    serialPort *serial = nullptr;
    TcpPort *tcp = nullptr;
    std::unique_ptr<PackCapture> serialReplies;
    std::unique_ptr<PackCapture> tcpReplies;
};

