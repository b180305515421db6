#pragma once

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
    bool start(int timeoutMs = 5000);
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
    bool start(const QString &program, const QStringList &args, int startedTimeoutMs = 5000);
    // Waits until the child's stdout or stderr contains the text.
    bool waitForOutput(const QString &text, int timeoutMs = 5000);
    QString output();
    void stop();
    QProcess &process() { return m_proc; }

private:
    QProcess m_proc;
    QByteArray m_out;
};

// A free TCP port on 127.0.0.1.
quint16 freeTcpPort();
