// The real program under the offscreen platform: it starts, shows its window,
// routes the window's commands to the worker of the chosen link, and quits
// with exit code 0 once its window is closed, after both worker threads have
// finished. A preloaded hook (entryhook.cpp) plays the operator.

#include "LinkRig.h"
#include "TestProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void startsRoutesAndQuits();
    void quitEndsTheRunningTickAndLetsTheLinkGo();

private:
    // Runs the program to its end; returns its stderr.
    QString runProgram(const QProcessEnvironment &extra, int *exitCode,
                       const std::function<void()> &whileRunning = {});
};

QString TestEntry::runProgram(const QProcessEnvironment &extra, int *exitCode,
                             const std::function<void()> &whileRunning)
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
    proc.start(binPath("Quellon"), QStringList());
    if (!proc.waitForStarted())
        return QString();
    // The peers answer from this thread's event loop meanwhile.
    const bool ended = QTest::qWaitFor([&] {
        if (whileRunning)
            whileRunning();
        return proc.state() == QProcess::NotRunning;
    }, 4 * kMustComeMs); // the whole program, perhaps under a sanitizer on a loaded machine
    if (!ended) {
        proc.kill();
        proc.waitForFinished();
    }
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

    // The window is closed a little over a tick after both commands arrived.
    QTemporaryDir dir;
    const QString quitFile = dir.filePath("quit");
    QProcessEnvironment extra;
    extra.insert("ENTRY_HOOK_SERIAL", pty.a());
    extra.insert("ENTRY_HOOK_TCP_PORT", QString::number(tcpPeer.port()));
    extra.insert("ENTRY_HOOK_QUIT_FILE", quitFile);
    QElapsedTimer sinceBoth;
    int exitCode = -1;
    const QString out = runProgram(extra, &exitCode, [&] {
        if (!sinceBoth.isValid() && serialPeer.lines().contains("HOOK:SERIAL\n")
            && tcpPeer.lines().contains("HOOK:TCP\n"))
            sinceBoth.start();
        if (sinceBoth.isValid() && sinceBoth.elapsed() > 800 && !QFile::exists(quitFile)) {
            QFile f(quitFile);
            f.open(QIODevice::WriteOnly);
        }
    });

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

void TestEntry::quitEndsTheRunningTickAndLetsTheLinkGo()
{
    PtyPair pty;
    QVERIFY(pty.start());
    PtyPeer serialPeer; // stays silent: each query waits its full read window
    QVERIFY(serialPeer.open(pty.b()));

    // The window is closed once the first of twenty queries has arrived, so
    // the tick that writes them is under way.
    QTemporaryDir dir;
    const QString quitFile = dir.filePath("quit");
    QProcessEnvironment extra;
    extra.insert("ENTRY_HOOK_SERIAL", pty.a());
    extra.insert("ENTRY_HOOK_BUSY", "1");
    extra.insert("ENTRY_HOOK_QUIT_FILE", quitFile);
    int exitCode = -1;
    QElapsedTimer sinceQuit;
    const QString out = runProgram(extra, &exitCode, [&] {
        if (!QFile::exists(quitFile) && serialPeer.lines().contains("HOOK:BUSY1?\n")) {
            QFile f(quitFile);
            f.open(QIODevice::WriteOnly);
            sinceQuit.start();
        }
    });
    qInfo("quit took %lld ms from the close request", sinceQuit.isValid() ? sinceQuit.elapsed() : -1);

    QVERIFY2(exitCode == 0, qPrintable(out));
    QVERIFY2(out.contains("HOOK threads started=2 finished=2"), qPrintable(out));
    int busy = 0;
    for (const QByteArray &line : serialPeer.lines())
        busy += line.startsWith("HOOK:BUSY");
    // The tick under way stops reading at once: the queries behind the one
    // being read are not written (each would have sat out its read window),
    // and the link still open is let go with the return to local.
    QVERIFY2(busy >= 1 && busy < 20, qPrintable(QString::number(busy)));
    QCOMPARE(serialPeer.lines().last(), QByteArray("SYST:LOC\n"));
}

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_entry.moc"
