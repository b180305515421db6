#pragma once

#include "TestProcess.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The instrument simulator build/bin/loadsim as a child process, with its
// wire log in a temporary folder.
class LoadSim
{
public:
    struct Entry
    {
        QDateTime time;
        QString channel;  // "tcp" or "serial"
        QByteArray line;  // the received line without its "\n"
    };

    // Starts loadsim with `args`, adding "--log <tmp>/wire.log" and, when the
    // arguments hold neither --tcp nor --serial, "--tcp 0" (a free port).
    // Waits for "loadsim ready".
    bool start(const QStringList &args = {}, int timeoutMs = kMustComeMs);
    // Ends the simulator. Its TCP port stays held, refusing connections,
    // while the object lives: a program that links again finds nothing
    // there, not another program's listener that took the port.
    void stop();

    quint16 port() const { return m_port; }   // the TCP port, 0 without TCP
    QString logPath() const;
    QString output() { return m_proc.output(); }
    ChildProcess &process() { return m_proc; }

    // Control channel (loadsim's standard input): applies a command, e.g.
    // "SIM:TRIP OVP", while the program holds the link.
    void control(const QByteArray &command);
    // A query on the control channel; its reply line without "\n", or an empty text.
    QString controlQuery(const QByteArray &query, int timeoutMs = kMustComeMs);
    // Applies a command on the control channel and waits until loadsim has
    // handled it (a query behind it is answered), e.g. "SIM:DELAY 500" before
    // the next query on the link; false when it was refused or no answer came.
    bool controlApply(const QByteArray &command, int timeoutMs = kMustComeMs);

    // Resident memory of the loadsim process (VmRSS), in kB; -1 when unknown.
    qint64 residentKb();

    // The wire log read back: every line received so far, in order.
    QList<Entry> log() const;
    // Just the lines, as text; with a channel ("tcp", "serial", "stdin") only its lines.
    QStringList receivedLines(const QString &channel = QString()) const;
    // Waits until the wire log holds at least `count` lines.
    bool waitForLines(int count, int timeoutMs = kMustComeMs) const;

private:
    QTemporaryDir m_dir;
    ChildProcess m_proc;
    quint16 m_port = 0;
    std::unique_ptr<RefusingTcpPort> m_held;
};
