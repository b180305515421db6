// The real program under the offscreen platform: it starts, shows its window,
// routes the window's commands to the worker of the chosen link, and quits
// with exit code 0 once its window is closed, after both worker threads have
// finished. A preloaded hook (entryhook.cpp) plays the operator.

#include "LinkRig.h"
#include "TestProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void startsRoutesAndQuits();
    void quitCompletesTheRunningTick();

private:
    // Runs the program to its end; returns its stderr.
    QString runProgram(const QProcessEnvironment &extra, int *exitCode, qint64 *ms = nullptr);
};

QString TestEntry::runProgram(const QProcessEnvironment &extra, int *exitCode, qint64 *ms)
{
    QTemporaryDir work;
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LD_PRELOAD", ENTRY_HOOK);
    env.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    env.insert(extra);
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(work.path());
    proc.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    proc.start(binPath("Quellon"), QStringList());
    if (!proc.waitForStarted())
        return QString();
    // The peers answer from this thread's event loop meanwhile.
    const bool ended = QTest::qWaitFor([&] { return proc.state() == QProcess::NotRunning; }, 30000);
    if (!ended) {
        proc.kill();
        proc.waitForFinished();
    }
    if (ms)
        *ms = clock.elapsed();
    *exitCode = (ended && proc.exitStatus() == QProcess::NormalExit) ? proc.exitCode() : -1;
    return QString::fromUtf8(proc.readAll());
}

void TestEntry::startsRoutesAndQuits()
{
    PtyPair pty;
    QVERIFY(pty.start());
    PtyPeer serialPeer;
    QVERIFY(serialPeer.open(pty.b()));
    TcpPeer tcpPeer;
    QVERIFY(tcpPeer.listen());

    QProcessEnvironment extra;
    extra.insert("ENTRY_HOOK_SERIAL", pty.a());
    extra.insert("ENTRY_HOOK_TCP_PORT", QString::number(tcpPeer.port()));
    int exitCode = -1;
    const QString out = runProgram(extra, &exitCode);

    QVERIFY2(exitCode == 0, qPrintable(out));
    QVERIFY2(out.contains("HOOK title=Darvik KTR series--V1.0.17 20260928"), qPrintable(out));
    QVERIFY2(out.contains("HOOK visible=1"), qPrintable(out));
    QVERIFY2(out.contains("HOOK closing"), qPrintable(out));
    QVERIFY2(out.contains("HOOK threads started=2 finished=2"), qPrintable(out));
    QVERIFY(!out.contains("Destroyed while thread is still running"));
    // Every command reaches both workers; each writes only its own link's.
    QVERIFY(serialPeer.lines().contains("HOOK:SERIAL\n"));
    QVERIFY(!serialPeer.lines().contains("HOOK:TCP\n"));
    QVERIFY(tcpPeer.lines().contains("HOOK:TCP\n"));
    QVERIFY(!tcpPeer.lines().contains("HOOK:SERIAL\n"));
}

void TestEntry::quitCompletesTheRunningTick()
{
    PtyPair pty;
    QVERIFY(pty.start());
    PtyPeer serialPeer; // stays silent: each query waits its full read window
    QVERIFY(serialPeer.open(pty.b()));

    QProcessEnvironment extra;
    extra.insert("ENTRY_HOOK_SERIAL", pty.a());
    extra.insert("ENTRY_HOOK_BUSY", "1");
    int exitCode = -1;
    const QString out = runProgram(extra, &exitCode);

    QVERIFY2(exitCode == 0, qPrintable(out));
    QVERIFY2(out.contains("HOOK threads started=2 finished=2"), qPrintable(out));
    int busy = 0;
    for (const QByteArray &line : serialPeer.lines())
        busy += line.startsWith("HOOK:BUSY");
    QCOMPARE(busy, 5); // the tick under way when the window closed ran to its end
}

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_entry.moc"
