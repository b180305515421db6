#include "CrashHandler.h"
#include "TestProcess.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {
// True once the process catches SIGSEGV and has started the threads the
// entry starts after installing its handler: the window is up and a signal
// now reaches the program's handler. Read from /proc, so the wait holds on a
// loaded machine and under a sanitizer that catches SIGSEGV from the start.
bool handlerInstalled(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    bool caught = false;
    int threads = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            caught = (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGSEGV - 1)) & 1;
        else if (line.startsWith("Threads:"))
            threads = line.mid(8).trimmed().toInt();
    }
    return caught && threads >= 3; // the GUI thread and the two link workers
}

// True when the process ignores the signal (its bit in /proc's SigIgn).
bool ignores(qint64 pid, int sig)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigIgn:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
    return false;
}
}

class TestCrashHandler : public QObject
{
    Q_OBJECT
private slots:
    void crashLeavesDumpAndLog_data();
    void crashLeavesDumpAndLog();
    void unwritableDirectoryStillLogsAndExits();
    void exceptionCodes();
    void programKilledWithSegv();

private:
    struct Result
    {
        int exitStatus = 0;
        bool crashed = false;
        QString err;
        QStringList dumps;
        QString dumpText;
    };
    Result runChild(const QString &dir, const QStringList &args);
};

TestCrashHandler::Result TestCrashHandler::runChild(const QString &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(CRASHCHILD), args);
    Result r;
    // A generous limit: a stack overflow under a sanitizer on a loaded
    // machine takes a while to unwind into the dump.
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    r.crashed = p.exitStatus() == QProcess::CrashExit;
    r.exitStatus = p.exitCode();
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.dumps = QDir(dir).entryList({QStringLiteral("*.dmp")}, QDir::Files);
    if (!r.dumps.isEmpty()) {
        QFile f(dir + QLatin1Char('/') + r.dumps.first());
        if (f.open(QIODevice::ReadOnly))
            r.dumpText = QString::fromUtf8(f.readAll());
    }
    return r;
}

void TestCrashHandler::crashLeavesDumpAndLog_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("signal");
    QTest::newRow("segv") << "segv" << "main" << "c0000005" << SIGSEGV;
    QTest::newRow("segv on a worker thread") << "segv" << "thread" << "c0000005" << SIGSEGV;
    QTest::newRow("divide by zero") << "fpe" << "main" << "c0000094" << SIGFPE;
    QTest::newRow("abort") << "abort" << "main" << "c0000409" << SIGABRT;
    QTest::newRow("illegal instruction") << "ill" << "main" << "c000001d" << SIGILL;
    QTest::newRow("bus") << "bus" << "main" << "c0000005" << SIGBUS;
    QTest::newRow("stack overflow") << "overflow" << "main" << "c0000005" << SIGSEGV;
    QTest::newRow("stack overflow on a thread") << "overflow" << "thread" << "c0000005" << SIGSEGV;
}

void TestCrashHandler::crashLeavesDumpAndLog()
{
    QFETCH(QString, how);
    QFETCH(QString, where);
    QFETCH(QString, code);
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QDateTime before = QDateTime::currentDateTime();
    const Result r = runChild(dir.path(), {how, where});
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY2(r.crashed, qPrintable(r.err));
    QCOMPARE(r.dumps.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}-\\d{2}-\\d{2}-\\d{2}-\\d{3}\\.dmp$"))
                 .match(r.dumps.first()).hasMatch(), qPrintable(r.dumps.first()));
    // The name is the local time of the crash: between the child's start and
    // its end, however long the run took.
    const QDateTime named = QDateTime::fromString(r.dumps.first().left(23), QStringLiteral("yyyy-MM-dd-HH-mm-ss-zzz"));
    QVERIFY(named.isValid());
    QVERIFY2(named >= before.addSecs(-1) && named <= after.addSecs(1),
             qPrintable(QStringLiteral("%1 not in %2 .. %3").arg(named.toString(Qt::ISODateWithMs),
                                                                 before.toString(Qt::ISODateWithMs),
                                                                 after.toString(Qt::ISODateWithMs))));

    const QRegularExpression logLine(QStringLiteral("Crash Addr: \"([0-9a-f]+)\" Code: \"([0-9a-f]+)\""));
    const auto m = logLine.match(r.err);
    QVERIFY2(m.hasMatch(), qPrintable(r.err));
    QCOMPARE(m.captured(2), code);
    QVERIFY(r.dumpText.contains(QStringLiteral("signal: %1").arg(signal)));
    QVERIFY(r.dumpText.contains(QStringLiteral("exception code: ") + code));
    QVERIFY(r.dumpText.contains(QStringLiteral("thread id: ")));
    QVERIFY(r.dumpText.contains(QStringLiteral("backtrace:")));
#if defined(__x86_64__)
    QVERIFY(r.dumpText.contains(QStringLiteral("rip 0x") + m.captured(1)));
#endif
}

void TestCrashHandler::unwritableDirectoryStillLogsAndExits()
{
    QTemporaryDir parent;
    const QString dir = parent.path() + QStringLiteral("/work");
    QVERIFY(QDir().mkpath(dir));
    const Result r = runChild(dir, {QStringLiteral("segv"), QStringLiteral("main"), QStringLiteral("gone")});
    QVERIFY(!QFileInfo::exists(dir));
    QVERIFY2(r.crashed, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("Code: \"c0000005\"")), qPrintable(r.err));
}

void TestCrashHandler::exceptionCodes()
{
    QCOMPARE(crashExceptionCode(SIGSEGV, 0), 0xc0000005u);
    QCOMPARE(crashExceptionCode(SIGFPE, FPE_INTDIV), 0xc0000094u);
    QCOMPARE(crashExceptionCode(SIGILL, 0), 0xc000001du);
    QCOMPARE(crashExceptionCode(SIGABRT, 0), 0xc0000409u);
}

void TestCrashHandler::programKilledWithSegv()
{
    QTemporaryDir dir;
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(binPath(QStringLiteral("Quellon")), QStringList());
    QVERIFY(p.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] {
        return p.state() != QProcess::Running || handlerInstalled(p.processId());
    }, 120000)); // the whole window under a sanitizer on a loaded machine
    QCOMPARE(p.state(), QProcess::Running);
    // A record file at the file-size limit makes a write fail, not the program end.
    QVERIFY(ignores(p.processId(), SIGXFSZ));
    ::kill(static_cast<pid_t>(p.processId()), SIGSEGV);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("Crash Addr: \"")), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("Code: \"c0000005\"")));
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.dmp")}, QDir::Files).size(), 1);
}

QTEST_GUILESS_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
