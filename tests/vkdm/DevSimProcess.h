#pragma once

// The device-server simulator as a child process of a test, and the check
// that the test runs inside the private network namespace of scripts/run-tests.

#include "TestProcess.h"

#include <QNetworkInterface>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <ifaddrs.h>

// True when an interface holds 10.77.0.1: the veth end of the test namespace.
// Searches and broadcasts are only ever made there.
inline bool inTestNamespace()
{
    for (const QHostAddress &a : QNetworkInterface::allAddresses())
        if (a == QHostAddress(QStringLiteral("10.77.0.1")))
            return true;
    return false;
}

#define VKDM_REQUIRE_NAMESPACE()                                                                 \
    do {                                                                                         \
        if (!inTestNamespace())                                                                  \
            QSKIP("needs the private network namespace of scripts/run-tests (10.77.0.1 on vkd0)"); \
    } while (0)

// The ID text the tests give a simulated device: "VK" and the serial.
inline QString simDeviceId(uint serial)
{
    return QStringLiteral("564B%1").arg(serial, 8, 16, QLatin1Char('0')).toUpper();
}

class DevSimProcess
{
public:
    ~DevSimProcess() { stop(); }

    bool start(const QStringList &commands = {})
    {
        return m_proc.start(binPath(QStringLiteral("devsim")), commands)
            && waitFor(QStringLiteral("ready"));
    }
    void stop()
    {
        // Asked to quit first; ChildProcess ends it if it does not.
        if (m_proc.process().state() != QProcess::NotRunning) {
            m_proc.process().write("quit\n");
            m_proc.process().waitForFinished(2000);
        }
        m_proc.stop();
    }
    void send(const QString &command)
    {
        m_proc.process().write(command.toUtf8() + '\n');
        m_proc.process().waitForBytesWritten(1000);
    }
    // Sends a command and waits for the simulator's acknowledgement line.
    bool command(const QString &command, const QString &ack)
    {
        const int before = count(ack);
        send(command);
        return waitForCount(ack, before + 1);
    }
    // Adds a device with the given serial and further "key=value" settings.
    bool addDevice(uint serial, const QString &settings)
    {
        return command(QStringLiteral("add id=%1 %2").arg(simDeviceId(serial), settings),
                       QStringLiteral("added %1").arg(simDeviceId(serial)));
    }
    QStringList lines()
    {
        pump();
        return m_lines;
    }
    int count(const QString &text)
    {
        pump();
        int n = 0;
        for (const QString &l : m_lines)
            if (l.contains(text))
                ++n;
        return n;
    }
    QStringList matching(const QString &text)
    {
        pump();
        QStringList out;
        for (const QString &l : m_lines)
            if (l.contains(text))
                out << l;
        return out;
    }
    // The time limits only end a test that has already failed: far above
    // what a loaded machine takes.
    bool waitFor(const QString &text, int ms = 30000) { return waitForCount(text, 1, ms); }
    bool waitForCount(const QString &text, int n, int ms = 30000)
    {
        return QTest::qWaitFor([&] { return count(text) >= n; }, ms);
    }
    // Lets the event loop and the simulator run for a while.
    void settle(int ms = 200) { QTest::qWait(ms); pump(); }

private:
    void pump()
    {
        // Takes what the simulator has written so far, also outside the event loop.
        QProcess &p = m_proc.process();
        while (p.state() == QProcess::Running && p.waitForReadyRead(5))
            m_proc.output();
        const QString out = m_proc.output();
        int nl;
        while ((nl = out.indexOf(QLatin1Char('\n'), m_parsed)) >= 0) {
            m_lines << out.mid(m_parsed, nl - m_parsed);
            m_parsed = nl + 1;
        }
    }
    ChildProcess m_proc;
    int m_parsed = 0; // how much of the output is split into lines
    QStringList m_lines;
};
