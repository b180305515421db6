#pragma once

#include "TestWait.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Paths of the built programs.
QString binPath(const QString &name);   // build/bin/<name>

// A pseudo-terminal pair made by socat; both ends are removed when it goes.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    bool start(int timeoutMs = kMustComeMs);
    void stop();
    QString a() const { return m_a; } // one end (e.g. for the program)
    QString b() const { return m_b; } // the other end (e.g. for a simulator)

private:
    QTemporaryDir m_dir;
    QProcess m_socat;
    QString m_a, m_b;
};

// A child process that is killed when the object goes.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    bool start(const QString &program, const QStringList &args, int startedTimeoutMs = kMustComeMs);
    // Waits until the child's stdout or stderr contains the text.
    bool waitForOutput(const QString &text, int timeoutMs = kMustComeMs);
    QString output();
    void stop();
    QProcess &process() { return m_proc; }

private:
    QProcess m_proc;
    QByteArray m_out;
};

// A free TCP port on 127.0.0.1.
quint16 freeTcpPort();
// A UDP port free on every address, for a datagram socket bound to any
// address (a TCP port's number may be held by a datagram socket).
quint16 freeUdpPort();

// A TCP port of 127.0.0.1 held by a socket that is bound but does not listen:
// a connection to it is refused, and no other socket gets the port while the
// object lives. (A port that was merely free a moment ago may be taken by any
// other program on the machine, and then a connection to it succeeds.)
class RefusingTcpPort
{
public:
    // The given port (e.g. one a server of the test has just closed), or one
    // the kernel chooses; port() is 0 when it could not be bound.
    explicit RefusingTcpPort(quint16 port = 0);
    ~RefusingTcpPort();
    RefusingTcpPort(const RefusingTcpPort &) = delete;
    RefusingTcpPort &operator=(const RefusingTcpPort &) = delete;
    quint16 port() const { return m_port; }
    // Makes the socket listen and hands it over (e.g. to
    // QTcpServer::setSocketDescriptor), so the port never has no owner;
    // -1 when that failed. The object holds nothing afterwards.
    int takeListening();

private:
    int m_fd = -1;
    quint16 m_port = 0;
};
